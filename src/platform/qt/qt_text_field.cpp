// SPDX-License-Identifier: MIT
#include "platform/qt/qt_text_field.h"

#include <QPainter>

namespace velmora::qt {

TextField::TextField(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setAutoFillBackground(true);
}

void TextField::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const bool fits = fontMetrics().horizontalAdvance(text()) <= width();
    const int horizontal = fits ? Qt::AlignHCenter : Qt::AlignLeft;
    painter.drawText(rect(), horizontal | Qt::AlignTop | Qt::TextSingleLine, text());
}

}  // namespace velmora::qt
