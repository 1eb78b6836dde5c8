// SPDX-License-Identifier: MIT
// What a metafile picture costs the board: velmora-metafile started, run and its PNG decoded, per
// picture (median of 21), for a small and a large WMF and EMF; and a typical JPEG cover for scale.
// Beside each, the longest the UI thread was busy meanwhile (the largest gap of a 1 ms timer,
// median over the runs); last, a hostile metafile: a helper that spins until it is killed.
//   velmora_metafile_cost [helper [folder]]   (default: velmora-metafile beside the board;
//                                              folder: where to keep the pictures to look at)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <optional>
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

struct Cost {
    double ms = 0;      // from the request to the answer
    double busyMs = 0;  // the longest stretch the event loop did not run meanwhile
    QSize size;         // 0 x 0: not a picture (the helper's limit, say)
};

Cost loadOnce(velmora::qt::QtPictures& pictures, const QString& path) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, worst = 0;
    const auto seen = [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    };
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, seen);
    tick.start(1);
    std::optional<velmora::platform::PictureResult> result;
    auto request = pictures.load(path.toStdString(), [&](auto answer) { result = answer; });
    seen();
    while (!result) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    seen();
    const auto* picture = dynamic_cast<const velmora::qt::QtPicture*>(result->picture.get());
    return {clock.nsecsElapsed() / 1e6, worst / 1e6, picture ? picture->image().size() : QSize()};
}

Cost median(velmora::qt::QtPictures& pictures, const QString& path, int runs) {
    std::vector<Cost> costs;
    for (int i = 0; i < runs; ++i) costs.push_back(loadOnce(pictures, path));
    const auto middle = [&](auto field) {
        std::vector<double> values;
        for (const Cost& c : costs) values.push_back(c.*field);
        std::nth_element(values.begin(), values.begin() + runs / 2, values.end());
        return values[runs / 2];
    };
    return {middle(&Cost::ms), middle(&Cost::busyMs), costs.back().size};
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
    velmora::qt::QtPictures pictures(helper, {1280, 1024});
    const auto report = [](const char* name, const QString& path, const Cost& cost) {
        std::printf("%-40s %7lld bytes  %8.1f ms  UI busy %6.1f ms  -> %d x %d\n", name,
                    static_cast<long long>(QFile(path).size()), cost.ms, cost.busyMs,
                    cost.size.width(), cost.size.height());
    };
    for (const Case& c : cases) report(c.name, c.path, median(pictures, c.path, 21));

    QFile spin(dir.filePath("spin"));
    spin.open(QIODevice::WriteOnly);
    spin.write("#!/bin/sh\nwhile :; do :; done\n");
    spin.close();
    spin.setPermissions(spin.permissions() | QFile::ExeOwner);
    velmora::qt::QtPictures hostile(spin.fileName(), {1280, 1024});
    report("hostile WMF (killed at the 2 s limit)", cases[0].path,
           median(hostile, cases[0].path, 5));
}
