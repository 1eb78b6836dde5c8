// SPDX-License-Identifier: MIT
// What a metafile picture costs the board: velmora-metafile started, run and its PNG decoded, per
// picture (median of 21), for a small and a large WMF and EMF; and a typical JPEG cover for scale.
//   velmora_metafile_cost [helper]   (default: velmora-metafile beside this program's board)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "../../tests/qt/picture_bytes.h"
#include "platform/qt/qt_pictures.h"

namespace {

using velmora::qt::testing::Bytes;

// `count` rectangles in alternating colours over a side x side drawing.
QByteArray wmf(int side, int count) {
    Bytes placeable;
    placeable.u32({0x9AC6CDD7}).u16({0, 0, 0, side, side, 96}).u32({0});
    std::uint16_t checksum = 0;
    for (qsizetype i = 0; i < placeable.size(); i += 2)
        checksum ^= qFromLittleEndian<std::uint16_t>(placeable.data().constData() + i);
    placeable.u16({checksum});
    Bytes records;
    records.u32({5}).u16({0x020B, 0, 0});
    records.u32({5}).u16({0x020C, side, side});
    records.u32({7}).u16({0x02FC, 0}).u32({0x0000FF}).u16({0});
    records.u32({7}).u16({0x02FC, 0}).u32({0xFF0000}).u16({0});
    for (int i = 0; i < count; ++i) {
        const int x = (i * 37) % side, y = (i * 91) % side;
        records.u32({4}).u16({0x012D, i % 2});
        records.u32({7}).u16({0x041B, std::min(side, y + 40), std::min(side, x + 60), y, x});
    }
    records.u32({3}).u16({0x0000});
    const auto words = (18 + records.size()) / 2;
    return placeable
        .bytes(Bytes().u16({1, 9, 0x0300}).u32({words}).u16({2}).u32({7}).u16({0}).data())
        .bytes(records.data())
        .data();
}

QByteArray emf(int side, int count) {
    Bytes records;
    records.u32({39, 24, 1, 0, 0xFF, 0});
    records.u32({39, 24, 2, 0, 0xFF0000, 0});
    for (int i = 0; i < count; ++i) {
        const int x = (i * 37) % side, y = (i * 91) % side;
        records.u32({37, 12, std::uint32_t(1 + i % 2)});
        records.u32({43, 24, x, y, std::min(side - 1, x + 60), std::min(side - 1, y + 40)});
    }
    records.u32({14, 20, 0, 16, 20});
    const qsizetype total = 88 + records.size();
    const int frame = side * 2645 / 100;
    return Bytes()
        .u32({1, 88})
        .u32({0, 0, side - 1, side - 1})
        .u32({0, 0, frame, frame})
        .u32({0x464D4520, 0x10000, total, std::int64_t(5 + 2 * count)})
        .u16({3, 0})
        .u32({0, 0, 0})
        .u32({1024, 768, 271, 203})
        .bytes(records.data())
        .data();
}

double medianMs(const std::function<void()>& run) {
    std::vector<double> ms;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer clock;
        clock.start();
        run();
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::nth_element(ms.begin(), ms.begin() + 10, ms.end());
    return ms[10];
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString helper =
        argc > 1 ? QString::fromLocal8Bit(argv[1])
                 : QCoreApplication::applicationDirPath() + "/../src/app/velmora-metafile";
    QTemporaryDir dir;
    const auto save = [&](const char* name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    };
    QImage cover(500, 500, QImage::Format_RGB32);
    cover.fill(Qt::darkCyan);
    cover.save(dir.filePath("cover.jpg"), "jpeg", 90);

    struct Case {
        const char* name;
        QString path;
    };
    const std::vector<Case> cases = {
        {"WMF small (100 x 100, 10 shapes)", save("small.wmf", wmf(100, 10))},
        {"WMF large (2000 x 2000, 2000 shapes)", save("large.wmf", wmf(2000, 2000))},
        {"EMF small (100 x 100, 10 shapes)", save("small.emf", emf(100, 10))},
        {"EMF large (2000 x 2000, 2000 shapes)", save("large.emf", emf(2000, 2000))},
        {"JPEG cover (500 x 500), in the board", dir.filePath("cover.jpg")},
    };
    if (argc > 2) {  // keep the files to look at
        for (const Case& c : cases)
            QFile::copy(c.path,
                        QString::fromLocal8Bit(argv[2]) + "/" + QFileInfo(c.path).fileName());
    }
    for (const Case& c : cases) {
        QSize size;
        const double ms = medianMs([&] {
            try {
                size = velmora::qt::decodePicture(c.path, {1280, 1024}, helper).image.size();
            } catch (const velmora::Failure&) {
                size = {};  // shown as 0 x 0: not a picture (the helper's limit, say)
            }
        });
        std::printf("%-40s %7lld bytes  %8.1f ms  -> %d x %d\n", c.name,
                    static_cast<long long>(QFile(c.path).size()), ms, size.width(), size.height());
    }
}
