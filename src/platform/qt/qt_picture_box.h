// SPDX-License-Identifier: MIT
// The picture box: its picture stretched to fill the whole box, whatever the picture's own shape.
#pragma once

#include <QPixmap>
#include <QWidget>

#include "platform/form.h"

namespace velmora::qt {

class PictureBox final : public QWidget {
  public:
    explicit PictureBox(QWidget* parent) : QWidget(parent) {}
    void setPicture(PictureRef picture);
    const PictureRef& picture() const { return picture_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    PictureRef picture_;
    QPixmap scaled_;  // the picture at the box's size, made at the first paint after a change
};

}  // namespace velmora::qt
