// Windows metafiles (WMF, through libwmf) and enhanced metafiles (EMF, through libemf2svg and Qt's
// SVG renderer), rendered into images.
#pragma once

#include <QByteArray>
#include <QImage>

namespace velmora::qt {

// Metafiles are drawn at their own size, shrunk to fit this square: the picture box stretches the
// result anyway, and a drawing may claim any size it likes.
inline constexpr int kMaxMetafileSide = 2048;

bool isWmf(const QByteArray& head);
bool isEmf(const QByteArray& head);

// Null when the data cannot be drawn.
QImage renderWmf(const QByteArray& data);
QImage renderEmf(const QByteArray& data);

}  // namespace velmora::qt
