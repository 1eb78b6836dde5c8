// SPDX-License-Identifier: MIT
// Metafiles drawn into PNG: WMF through libwmf, EMF through libemf2svg and Qt's SVG renderer.
// Runs only inside velmora-metafile, a process of its own per picture: these libraries parse
// hostile input less carefully than a board can afford.
#pragma once

#include <QByteArray>

namespace velmora::metafile {

// Drawings are made at their own size, shrunk to fit this square: the picture box stretches the
// result anyway, and a drawing may claim any size it likes.
inline constexpr int kMaxSide = 2048;
// Real metafiles are far smaller.
inline constexpr qint64 kMaxInputBytes = 16 * 1024 * 1024;

// The PNG of a WMF or EMF; empty when the data is neither or cannot be drawn. EMF needs a
// QGuiApplication (for its fonts).
QByteArray convertToPng(const QByteArray& data);

}  // namespace velmora::metafile
