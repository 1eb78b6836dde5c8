#include "platform/qt/qt_pictures.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include "platform/qt/qt_metafiles.h"

namespace velmora::qt {
namespace {

// Qt's readers refuse to allocate more than this (in megabytes): 64 megapixels at 32 bits fit.
constexpr int kAllocationLimitMb = 256;
// Metafiles are read whole; real ones are far smaller.
constexpr qint64 kMaxMetafileBytes = 64 * 1024 * 1024;
// Enough of a file to tell the metafile kinds from everything else.
constexpr qint64 kSniffBytes = 64;

[[noreturn]] void fail(ErrorCode code, const char* what, const QString& path) {
    throw Failure(code, std::string(what) + ": " + path.toStdString());
}

QImage decodeRaster(QFile& file) {
    // Reading from the device, not the name, makes the reader go by content alone: a bitmap
    // named .rle, or a PNG named .jpg, still loads, and a text named .jpg does not.
    QImageReader reader(&file);
    reader.setAllocationLimit(kAllocationLimitMb);
    const QSize size = reader.size();  // from the header, before any pixel is decoded
    if (size.isValid() && qint64(size.width()) * size.height() > kMaxPicturePixels)
        fail(ErrorCode::InvalidPicture, "Invalid picture (too large)", file.fileName());
    QImage image = reader.read();
    if (image.isNull() || qint64(image.width()) * image.height() > kMaxPicturePixels)
        fail(ErrorCode::InvalidPicture, "Invalid picture", file.fileName());
    return image;
}

QImage decodeMetafile(QFile& file, const QByteArray& head) {
    if (file.size() > kMaxMetafileBytes)
        fail(ErrorCode::InvalidPicture, "Invalid picture (too large)", file.fileName());
    const QByteArray data = file.readAll();
    QImage image = isWmf(head) ? renderWmf(data) : renderEmf(data);
    if (image.isNull()) fail(ErrorCode::InvalidPicture, "Invalid picture", file.fileName());
    return image;
}

}  // namespace

QImage decodePicture(const QString& path) {
    const QFileInfo info(path);
    // Only ordinary files: a folder is nothing to load, and a pipe or device could block forever.
    if (!info.isFile()) fail(ErrorCode::FileNotFound, "File not found", path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(info.isReadable() ? ErrorCode::FileNotFound : ErrorCode::PermissionDenied,
             info.isReadable() ? "File not found" : "Permission denied", path);
    const QByteArray head = file.peek(kSniffBytes);
    if (isWmf(head) || isEmf(head)) return decodeMetafile(file, head);
    return decodeRaster(file);
}

PictureRef QtPictures::load(const std::string& path) {
    if (path.empty()) return nullptr;
    return std::make_shared<QtPicture>(decodePicture(QString::fromStdString(path)));
}

}  // namespace velmora::qt
