// SPDX-License-Identifier: MIT
// A text field: one line the program writes, centred, on the control's colours, taking no input.
// A text too wide for the field shows its beginning, as a text box scrolled to its start does.
#pragma once

#include <QLabel>

namespace velmora::qt {

class TextField final : public QLabel {
  public:
    explicit TextField(QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace velmora::qt
