// SPDX-License-Identifier: MIT
// The board against metafile helpers that misbehave, and pictures far larger than the screen.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>

#include "picture_bytes.h"
#include "platform/qt/qt_metafiles.h"
#include "platform/qt/qt_pictures.h"
#include "qt_test_util.h"

namespace velmora::qt {
namespace {

using namespace velmora::qt::testing;

class MetafileHelperTest : public ::testing::Test {
  protected:
    QString file(const QString& name, const QByteArray& bytes, bool executable = false) {
        QFile out(dir.filePath(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        if (executable) out.setPermissions(out.permissions() | QFile::ExeOwner);
        return out.fileName();
    }
    QString standIn(const char* name, const char* script) {
        return file(name, QByteArray("#!/bin/sh\n") + script + "\n", true);
    }
    // The helper's PNG, "" when it gave none.
    static QByteArray convert(const QString& helper, const QString& path,
                              const MetafileLimits& limits) {
        QObject reaper;
        std::optional<QByteArray> png;
        MetafileRun run(helper, path, limits, reaper, [&](QByteArray out) { png = out; });
        test::waitUntil([&] { return png.has_value(); }, 10000);
        return png.value_or("no answer");
    }
    QTemporaryDir dir;
};

TEST_F(MetafileHelperTest, AHelperThatMisbehavesGivesNotAPictureWithinTheLimit) {
    const QString wmf = file("cover.jpg", wmfRedBlue());
    MetafileLimits limits;
    limits.wallMs = 600;
    limits.cpuSeconds = 1;
    limits.outputBytes = 1024 * 1024;
    const std::vector<std::pair<const char*, QString>> helpers = {
        {"crashes", standIn("crash", "kill -SEGV $$")},
        {"hangs", standIn("hang", "exec sleep 60")},
        {"spins", standIn("spin", "while :; do :; done")},
        {"floods", standIn("flood", "exec cat /dev/zero")},
        {"fails", standIn("fail", "printf '\\211PNG\\r\\n\\032\\n'; exit 1")},
        {"is missing", dir.filePath("missing")},
    };
    for (const auto& [what, helper] : helpers) {
        SCOPED_TRACE(what);
        QElapsedTimer clock;
        clock.start();
        EXPECT_TRUE(convert(helper, wmf, limits).isEmpty());
        EXPECT_LT(clock.elapsed(), limits.wallMs + 400);
    }
}

TEST_F(MetafileHelperTest, GarbageFromTheHelperIsNotAPicture) {
    const QString wmf = file("cover.wmf", wmfRedBlue());
    const std::vector<std::pair<const char*, QString>> helpers = {
        {"random", standIn("random", "head -c 4000 /dev/urandom")},
        {"a PNG signature, then noise",
         standIn("noise", "printf '\\211PNG\\r\\n\\032\\n'; head -c 4000 /dev/urandom")},
        {"the input itself", standIn("echo", "cat \"$1\"")},
    };
    for (const auto& [what, helper] : helpers) {
        SCOPED_TRACE(what);
        try {
            QtPictures pictures(helper);
            test::loadNow(pictures, wmf.toStdString());
            ADD_FAILURE() << "decoded";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.code(), ErrorCode::InvalidPicture);
        }
    }
}

// Files that make libwmf or libemf2svg misbehave, found by fuzzing: the real helper, under the
// board's limits, turns each into "not a picture" (or a picture) in time.
TEST_F(MetafileHelperTest, FilesThatBreakTheLibrariesCannotHurtTheBoard) {
    const QDir regressions(QStringLiteral(VELMORA_METAFILE_REGRESSIONS));
    const QStringList names = regressions.entryList({"*.wmf", "*.emf"}, QDir::Files);
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        QElapsedTimer clock;
        clock.start();
        try {
            QtPictures pictures(QStringLiteral(VELMORA_METAFILE_HELPER));
            test::loadNow(pictures, regressions.filePath(name).toStdString());
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.code(), ErrorCode::InvalidPicture);
        }
        EXPECT_LT(clock.elapsed(), MetafileLimits{}.wallMs + 500);
    }
}

// A picture far larger than the screen costs milliseconds, not a second and 256 MB: a JPEG is
// decoded at the screen's size, a PNG (which cannot be) refused from its header.
TEST_F(MetafileHelperTest, AHugePictureCostsLittle) {
    const auto huge = [&](const char* name, const char* format) {
        QImage image(6000, 6000, QImage::Format_Grayscale8);
        image.fill(Qt::darkGray);
        EXPECT_TRUE(image.save(dir.filePath(name), format));
        return dir.filePath(name);
    };
    const QString jpeg = huge("huge.jpg", "jpeg"), png = huge("huge.png", "png");

    QElapsedTimer clock;
    clock.start();
    const Decoded decoded = decodeFile(jpeg, {1280, 1024});
    const qint64 jpegMs = clock.restart();
    EXPECT_EQ(decoded.size, QSize(6000, 6000));
    EXPECT_EQ(decoded.image.size(), QSize(1024, 1024));
    EXPECT_LT(jpegMs, 1000);
    EXPECT_THROW(decodeFile(png, {1280, 1024}), Failure);
    const qint64 pngMs = clock.elapsed();
    EXPECT_LT(pngMs, 100);
    std::printf("6000 x 6000: JPEG decoded at 1024 x 1024 in %lld ms, PNG refused in %lld ms\n",
                static_cast<long long>(jpegMs), static_cast<long long>(pngMs));
}

}  // namespace
}  // namespace velmora::qt
