// SPDX-License-Identifier: MIT
#include "platform/qt/qt_picture_box.h"

#include <QPainter>

#include "platform/qt/qt_pictures.h"

namespace velmora::qt {

void PictureBox::setPicture(PictureRef picture) {
    picture_ = std::move(picture);
    scaled_ = QPixmap();
    update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const auto* native = dynamic_cast<const QtPicture*>(picture_.get());
    if (!native || native->image().isNull()) return;
    if (scaled_.size() != size())
        scaled_ = QPixmap::fromImage(
            native->image().scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    painter.drawPixmap(0, 0, scaled_);
}

}  // namespace velmora::qt
