// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <functional>

#include "picture_bytes.h"
#include "platform/qt/qt_pictures.h"
#include "qt_test_util.h"

namespace velmora::qt {
namespace {

using namespace velmora::qt::testing;

class PicturesTest : public ::testing::Test {
  protected:
    QString save(const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return file.fileName();
    }
    // A 6 x 4 picture: left half red, right half blue, written by Qt in the given format.
    QString written(const QString& name, const char* format) {
        QImage image(6, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        for (int y = 0; y < 4; ++y)
            for (int x = 3; x < 6; ++x) image.setPixelColor(x, y, Qt::blue);
        QImageWriter writer(dir.filePath(name), format);
        writer.setQuality(100);
        EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
        return dir.filePath(name);
    }
    ErrorCode failureOf(const QString& path) {
        try {
            test::loadNow(pictures, path.toStdString());
        } catch (const Failure& failure) {
            return failure.code();
        }
        ADD_FAILURE() << path.toStdString() << " loaded";
        return ErrorCode::Overflow;
    }

    static constexpr QSize kBound{1280, 1024};
    const QString helper = QStringLiteral(VELMORA_METAFILE_HELPER);
    QTemporaryDir dir;
    QtPictures pictures{helper, kBound};
};

// Close enough for a lossy format.
bool near(QColor actual, QColor expected) {
    return std::abs(actual.red() - expected.red()) < 24 &&
           std::abs(actual.green() - expected.green()) < 24 &&
           std::abs(actual.blue() - expected.blue()) < 24 &&
           std::abs(actual.alpha() - expected.alpha()) < 24;
}

TEST_F(PicturesTest, EachFormatDecodes) {
    struct Case {
        const char* name;
        std::function<QString()> file;
        QSize size;
        std::vector<std::pair<QPoint, QColor>> pixels;
    };
    const QColor red(255, 0, 0), green(0, 255, 0), blue(0, 0, 255);
    const QColor clear(0, 0, 0, 0);
    const std::vector<Case> cases = {
        {"PNG", [&] { return written("a.png", "png"); }, {6, 4}, {{{0, 0}, red}, {{5, 3}, blue}}},
        {"JPEG", [&] { return written("a.jpg", "jpeg"); }, {6, 4}, {{{0, 0}, red}, {{5, 3}, blue}}},
        {"BMP", [&] { return written("a.bmp", "bmp"); }, {6, 4}, {{{0, 0}, red}, {{5, 3}, blue}}},
        {"GIF",
         [&] { return save("a.gif", gifRedBlue()); },
         {2, 1},
         {{{0, 0}, red}, {{1, 0}, blue}}},
        {"RLE8 .bmp",
         [&] { return save("r8.bmp", rle8Bitmap()); },
         {4, 2},
         {{{0, 0}, green}, {{1, 0}, green}, {{2, 0}, red}, {{0, 1}, red}, {{3, 1}, red}}},
        {"RLE8 .rle",
         [&] { return save("r8.rle", rle8Bitmap()); },
         {4, 2},
         {{{0, 0}, green}, {{2, 0}, red}}},
        {"RLE4 .rle",
         [&] { return save("r4.rle", rle4Bitmap()); },
         {4, 1},
         {{{0, 0}, green}, {{1, 0}, red}, {{2, 0}, green}, {{3, 0}, red}}},
        {"PNG named .jpg", [&] { return written("png.jpg", "png"); }, {6, 4}, {{{0, 0}, red}}},
        {"WMF",
         [&] { return save("a.wmf", wmfRedBlue()); },
         {100, 50},
         {{{25, 25}, red}, {{75, 25}, blue}}},
        {"EMF",
         [&] { return save("a.emf", emfRedRectangle()); },
         {100, 50},
         {{{25, 25}, red}, {{75, 25}, clear}}},
        {"EMF named .bmp",
         [&] { return save("emf.bmp", emfRedRectangle()); },
         {100, 50},
         {{{25, 25}, red}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PictureRef picture = test::loadNow(pictures, c.file().toStdString());
        const auto* native = dynamic_cast<const QtPicture*>(picture.get());
        ASSERT_NE(native, nullptr);
        EXPECT_NEAR(picture->width(), c.size.width(), 1);
        EXPECT_NEAR(picture->height(), c.size.height(), 1);
        for (const auto& [at, colour] : c.pixels)
            EXPECT_TRUE(near(native->image().pixelColor(at), colour))
                << "at " << at.x() << "," << at.y() << ": "
                << native->image().pixelColor(at).name().toStdString();
    }
}

TEST_F(PicturesTest, TheEmptyPathClearsThePicture) {
    EXPECT_EQ(test::loadNow(pictures, ""), nullptr);
}

// The board lets go of a request when the next track comes, or when it ends mid-decode: on a
// worker, or in a helper that is then killed.
TEST_F(PicturesTest, ARequestLetGoNeverAnswersAndItsHelperIsNotWaitedFor) {
    QFile slow(dir.filePath("slow"));
    ASSERT_TRUE(slow.open(QIODevice::WriteOnly));
    slow.write("#!/bin/sh\nexec sleep 5\n");
    slow.close();
    slow.setPermissions(slow.permissions() | QFile::ExeOwner);
    const std::pair<QString, int> cases[] = {{written("a.png", "png"), 0},
                                             {save("a.wmf", wmfRedBlue()), 100}};
    for (const auto& [path, runMs] : cases) {
        SCOPED_TRACE(path.toStdString());
        bool answered = false;
        QElapsedTimer clock;
        clock.start();
        {
            QtPictures own(slow.fileName(), kBound);
            auto request = own.load(path.toStdString(), [&](auto) { answered = true; });
            test::spin(runMs);
            request.reset();
            test::spin(100);
        }
        EXPECT_LT(clock.elapsed(), runMs + 1000);  // the helper's 5 s are not waited for
        EXPECT_FALSE(answered);
    }
}

TEST_F(PicturesTest, FailuresSayWhatWentWrong) {
    QByteArray jpeg;
    {
        QFile file(written("real.jpg", "jpeg"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        jpeg = file.readAll();
    }
    QByteArray wmf = wmfRedBlue();
    wmf.truncate(40);  // the headers and not one record

    const std::vector<std::pair<QString, ErrorCode>> cases = {
        {dir.filePath("missing.jpg"), ErrorCode::FileNotFound},
        {dir.path(), ErrorCode::FileNotFound},  // a folder
        {"/dev/null", ErrorCode::FileNotFound},
        {save("text.jpg", "This is a text, not a picture.\n"), ErrorCode::InvalidPicture},
        {save("empty.png", ""), ErrorCode::InvalidPicture},
        {save("half.jpg", jpeg.left(jpeg.size() / 3)), ErrorCode::InvalidPicture},
        {save("cut.wmf", wmf), ErrorCode::InvalidPicture},
        {save("head.emf", emfRedRectangle().left(88)), ErrorCode::InvalidPicture},
        // A GIF whose header gives no width: Qt would hand back a picture 0 pixels wide.
        {save("no-width.gif",
              QByteArray("\x47\x49\x46\x38\x39\x61\x04\xB9\x03\x00\xF1\x00\x00\xFF\x00\x00"
                         "\x00\x00\xFF\x80\x00\x80\x00\x00\x00\x21\xF9\x04\x00\x00\x00\x00"
                         "\x00\x2C\x00\x00\x00\x00\x00\x00\x00\x2C\x00\x00\x00\x20\x04\x01"
                         "\x03\x00\x00\x02\x05\x84\x21\x29\xC1\x51\x00\x00\x20\x04\x01\x03"
                         "\x00\x00\x02\x05\x84\x21\x29\xC1\x51\x00\x3B",
                         75)),
         ErrorCode::InvalidPicture},
        // Qt's SVG reader would open the linked file itself, a FIFO among them.
        {save("cover.jpg",
              "<svg xmlns='http://www.w3.org/2000/svg' width='9' height='9'>"
              "<image href='/tmp/fifo' width='9' height='9'/></svg>"),
         ErrorCode::InvalidPicture},
    };
    for (const auto& [path, code] : cases) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(failureOf(path), code);
    }
}

TEST_F(PicturesTest, AHeaderClaimingHugeSizeIsNotAPicture) {
    QByteArray jpeg;
    {
        QFile file(written("real.jpg", "jpeg"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        jpeg = file.readAll();
    }
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");  // baseline frame: length, precision, h, w
    ASSERT_GT(frame, 0);
    jpeg.replace(frame + 5, 4, QByteArray("\xEA\x60\xEA\x60", 4));  // 60000 x 60000

    const std::vector<QString> files = {
        save("huge.bmp", bitmapClaiming(100000, 100000)),
        save("wide.bmp", bitmapClaiming(64'000'001, 1)),
        save("huge.jpg", jpeg),
    };
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(failureOf(path), ErrorCode::InvalidPicture);
        EXPECT_LT(clock.elapsed(), 1000);  // refused from the header, not after decoding
    }
}

}  // namespace
}  // namespace velmora::qt
