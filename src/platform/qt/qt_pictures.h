// SPDX-License-Identifier: MIT
// Picture files decoded for the picture box: BMP (RLE too), GIF, JPEG and PNG through Qt's image
// readers, WMF and EMF through the metafile helper (velmora-metafile). Nothing else: every other
// reader Qt might have (SVG among them) stays out of reach of a file from outside.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>

#include "platform/picture_size.h"
#include "platform/qt/qt_metafiles.h"
#include "platform/services.h"

namespace velmora::qt {

// A decoded picture; the picture box draws image() stretched over its whole area. Its size is the
// picture's own, even when the image was decoded smaller (no larger than the screen).
class QtPicture final : public Picture {
  public:
    explicit QtPicture(QImage image, QSize size = {})
        : image_(std::move(image)), size_(size.isValid() ? size : image_.size()) {}
    int width() const override { return size_.width(); }
    int height() const override { return size_.height(); }
    const QImage& image() const { return image_; }

  private:
    QImage image_;
    QSize size_;
};

// The bounds every loader of the board keeps: the picture's pixels, the file's bytes.
using platform::kMaxFullDecodePixels;
using platform::kMaxPictureBytes;
using platform::kMaxPicturePixels;

struct Decoded {
    QImage image;
    QSize size;             // the picture's own
    bool metafile = false;  // WMF or EMF: nothing decoded yet, the helper draws it
};

// Decodes the file, choosing the reader by its content, never by its extension, at no more than
// `bound` (kept in proportion); a metafile is only recognised. Safe on any thread. Throws
// Failure: FileNotFound when nothing readable is there, PermissionDenied when the file may not be
// read, InvalidPicture when it is not a picture or is too large.
Decoded decodeFile(const QString& path, QSize bound);
// Decodes the PNG the metafile helper drew for path, like decodeFile.
Decoded decodeHelperPng(QByteArray png, QSize bound, const QString& path);

// Pictures decode on worker threads, metafiles in the helper driven by the event loop; the UI
// thread only starts them and takes the result.
class QtPictures final : public platform::Pictures {
  public:
    // helper: velmora-metafile; bound: the largest picture decoded (by default the screen's).
    explicit QtPictures(QString helper = {}, QSize bound = {}, MetafileLimits limits = {});
    ~QtPictures() override;
    // The empty path gives no picture (the box is cleared).
    std::unique_ptr<platform::PictureRequest> load(const std::string& path, Done done) override;

  private:
    class Job;
    class Request;
    QString helper_;
    QSize bound_;
    MetafileLimits limits_;
    QObject receiver_;  // results come back through it; it outlives every worker
    QThreadPool pool_;  // last in, first out: waits for the decodes still running
};

}  // namespace velmora::qt
