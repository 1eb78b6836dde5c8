// SPDX-License-Identifier: MIT
#include "platform/qt/qt_pictures.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>

#include "platform/qt/qt_metafiles.h"
#include "platform/raster_kinds.h"

namespace velmora::qt {
namespace {

// Qt's readers refuse to allocate more than this (in megabytes): 64 megapixels at 32 bits fit.
constexpr int kAllocationLimitMb = 256;
// Enough of a file to tell its kind.
constexpr qint64 kSniffBytes = 64;
// Decoding is bounded by the screen; without one, by this.
constexpr QSize kNoScreenBound(4096, 4096);

[[noreturn]] void fail(ErrorCode code, const std::string& what, const QString& path) {
    throw Failure(code, what + ": " + path.toStdString());
}

// Whatever keeps a file from being shown, the board hears one error: "Invalid picture".
[[noreturn]] void invalid(const QString& path, const char* why = "") {
    fail(ErrorCode::InvalidPicture, std::string("Invalid picture") + why, path);
}

// The raster formats the board takes, by their signatures.
QByteArray rasterFormat(const QByteArray& head) {
    const platform::RasterKind* kind =
        platform::rasterKind(std::string_view(head.constData(), std::size_t(head.size())));
    return kind ? QByteArray(kind->format.data(), qsizetype(kind->format.size())) : QByteArray();
}

// A cover never needs more pixels than the screen.
QSize screenBound() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return kNoScreenBound;
    const QSize size = screen->size() * screen->devicePixelRatio();
    return size.isEmpty() ? kNoScreenBound : size;
}

Decoded decodeRaster(QIODevice& device, const QByteArray& format, QSize bound,
                     const QString& path) {
    // The reader is named by the signature and never guesses: no other reader sees the bytes.
    QImageReader reader(&device, format);
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(kAllocationLimitMb);
    // From the header, before any pixel is decoded; a picture without width or height is none.
    const QSize size = reader.size();
    if (size.isEmpty()) invalid(path);
    const bool reduces = format == "jpeg";  // libjpeg decodes at 1/2, 1/4 or 1/8 directly
    if (qint64(size.width()) * size.height() > (reduces ? kMaxPicturePixels : kMaxFullDecodePixels))
        invalid(path, " (too large)");
    const QSize shown = size.scaled(size.boundedTo(bound), Qt::KeepAspectRatio).expandedTo({1, 1});
    if (reduces && shown != size) reader.setScaledSize(shown);
    QImage image = reader.read();
    if (image.isNull()) invalid(path);
    if (image.size() != shown)
        image = image.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return {std::move(image), size};
}

}  // namespace

Decoded decodePicture(const QString& path, QSize bound, const QString& helper) {
    const QFileInfo info(path);
    // Only ordinary files: a folder is nothing to load, and a pipe or device could block forever.
    if (!info.isFile()) fail(ErrorCode::FileNotFound, "File not found", path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(info.isReadable() ? ErrorCode::FileNotFound : ErrorCode::PermissionDenied,
             info.isReadable() ? "File not found" : "Permission denied", path);
    if (file.size() > kMaxPictureBytes) invalid(path, " (too large)");
    const QByteArray head = file.peek(kSniffBytes);

    if (const QByteArray format = rasterFormat(head); !format.isEmpty())
        return decodeRaster(file, format, bound, path);
    if (!isWmf(head) && !isEmf(head)) invalid(path);

    QByteArray png = convertMetafile(helper, path);
    if (rasterFormat(png) != "png") invalid(path);
    QBuffer buffer(&png);
    buffer.open(QIODevice::ReadOnly);
    return decodeRaster(buffer, "png", bound, path);
}

QtPictures::QtPictures() : helper_(defaultMetafileHelper()) {}

PictureRef QtPictures::load(const std::string& path) {
    if (path.empty()) return nullptr;
    Decoded decoded = decodePicture(QString::fromStdString(path), screenBound(), helper_);
    return std::make_shared<QtPicture>(std::move(decoded.image), decoded.size);
}

}  // namespace velmora::qt
