// SPDX-License-Identifier: MIT
#include "platform/qt/qt_pictures.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QProcess>
#include <QScreen>
#include <utility>

#include "velmora/raster_kinds.h"

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
    const velmora::RasterKind* kind =
        velmora::rasterKind(std::string_view(head.constData(), std::size_t(head.size())));
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

Decoded decodeFile(const QString& path, QSize bound) {
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
    return Decoded{{}, {}, true};
}

Decoded decodeHelperPng(QByteArray png, QSize bound, const QString& path) {
    if (rasterFormat(png) != "png") invalid(path);
    QBuffer buffer(&png);
    buffer.open(QIODevice::ReadOnly);
    return decodeRaster(buffer, "png", bound, path);
}

// One request on its way: the file decoded on a worker, or a metafile drawn by the helper and its
// PNG decoded on a worker; the answer given on the UI thread. Workers hold only a weak reference:
// a job cancelled meanwhile drops what they bring back.
class QtPictures::Job final : public std::enable_shared_from_this<Job> {
  public:
    Job(QtPictures& owner, QString path, QSize bound, Done done)
        : owner_(owner), path_(std::move(path)), bound_(bound), done_(std::move(done)) {}

    void start() {
        onWorker([path = path_, bound = bound_] { return decodeFile(path, bound); });
    }
    void cancel() {
        done_ = nullptr;
        helper_.reset();  // kills a helper still drawing
    }
    void answerEmpty() {
        if (done_) std::exchange(done_, nullptr)(platform::PictureResult{});
    }

  private:
    struct Outcome {
        platform::PictureResult result;
        bool metafile = false;
    };

    void onWorker(std::function<Decoded()> decode) {
        owner_.pool_.start(
            [receiver = &owner_.receiver_, self = weak_from_this(), decode = std::move(decode)] {
                if (self.expired()) return;  // cancelled before its turn came
                Outcome outcome;
                try {
                    Decoded decoded = decode();
                    outcome.metafile = decoded.metafile;
                    if (!decoded.metafile)
                        outcome.result.picture =
                            std::make_shared<QtPicture>(std::move(decoded.image), decoded.size);
                } catch (const Failure& failure) {
                    outcome.result.failure = failure;
                } catch (const std::exception& error) {  // out of memory, say: not this board's end
                    outcome.result.failure.emplace(ErrorCode::InvalidPicture, error.what());
                }
                QMetaObject::invokeMethod(
                    receiver,
                    [self, outcome = std::move(outcome)]() mutable {
                        if (auto job = self.lock()) job->decoded(std::move(outcome));
                    },
                    Qt::QueuedConnection);
            });
    }

    // On the UI thread; the caller holds the job, so the answer may let go of the request.
    void decoded(Outcome outcome) {
        if (!done_) return;
        if (!outcome.metafile) {
            std::exchange(done_, nullptr)(std::move(outcome.result));
            return;
        }
        helper_ = std::make_unique<MetafileRun>(
            owner_.helper_, path_, owner_.limits_, owner_.receiver_, [this](QByteArray png) {
                onWorker([png = std::move(png), bound = bound_, path = path_] {
                    return decodeHelperPng(png, bound, path);
                });
            });
    }

    QtPictures& owner_;
    QString path_;
    QSize bound_;
    Done done_;
    std::unique_ptr<MetafileRun> helper_;
};

class QtPictures::Request final : public platform::PictureRequest {
  public:
    explicit Request(std::shared_ptr<Job> job) : job_(std::move(job)) {}
    ~Request() override { job_->cancel(); }

  private:
    std::shared_ptr<Job> job_;
};

QtPictures::QtPictures(QString helper, QSize bound, MetafileLimits limits)
    : helper_(helper.isEmpty() ? defaultMetafileHelper() : std::move(helper)),
      bound_(bound),
      limits_(limits) {}

QtPictures::~QtPictures() {
    // Helpers killed but not yet reaped: the kernel ends them at once.
    for (QProcess* helper : receiver_.findChildren<QProcess*>()) helper->waitForFinished(1000);
}

std::unique_ptr<platform::PictureRequest> QtPictures::load(const std::string& path, Done done) {
    const QSize bound = bound_.isValid() ? bound_ : screenBound();
    auto job = std::make_shared<Job>(*this, QString::fromStdString(path), bound, std::move(done));
    if (path.empty())  // no picture, answered like any other
        QMetaObject::invokeMethod(
            &receiver_,
            [weak = std::weak_ptr<Job>(job)] {
                if (auto job = weak.lock()) job->answerEmpty();
            },
            Qt::QueuedConnection);
    else
        job->start();
    return std::make_unique<Request>(std::move(job));
}

}  // namespace velmora::qt
