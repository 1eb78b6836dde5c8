// SPDX-License-Identifier: MIT
#include "platform/qt/qt_text_field.h"

#include <QPainter>
#include <QTextLayout>

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
    // Glyphs the field's font lacks come from a fallback font (CJK, say), whose taller ascent would
    // push the whole line down and cut it at the bottom: the line keeps the field's own baseline.
    QTextLayout layout(text(), font());
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    const int raise = line.isValid() ? qRound(line.ascent()) - fontMetrics().ascent() : 0;
    const QRect box = raise > 0 ? rect().adjusted(0, -raise, 0, 0) : rect();
    painter.drawText(box, horizontal | Qt::AlignTop | Qt::TextSingleLine, text());
}

}  // namespace velmora::qt
