// Picture files decoded for the picture box: BMP (RLE too), GIF, JPEG and PNG through Qt's image
// readers, WMF and EMF through the metafile decoders.
#pragma once

#include <QImage>
#include <QString>

#include "platform/services.h"

namespace velmora::qt {

// A decoded picture; the picture box draws image() stretched over its whole area.
class QtPicture final : public Picture {
  public:
    explicit QtPicture(QImage image) : image_(std::move(image)) {}
    int width() const override { return image_.width(); }
    int height() const override { return image_.height(); }
    const QImage& image() const { return image_; }

  private:
    QImage image_;
};

// A picture larger than this counts as not a picture rather than exhausting memory.
inline constexpr qint64 kMaxPicturePixels = 64'000'000;

// Decodes the file, choosing the reader by its content, never by its extension. Throws Failure:
// FileNotFound when nothing readable is there, PermissionDenied when the file may not be read,
// InvalidPicture when it is not a picture or is too large.
QImage decodePicture(const QString& path);

class QtPictures final : public platform::Pictures {
  public:
    // The empty path gives no picture (the box is cleared).
    PictureRef load(const std::string& path) override;
};

}  // namespace velmora::qt
