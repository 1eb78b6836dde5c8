// SPDX-License-Identifier: MIT
// velmora-metafile: draws one WMF or EMF file as PNG on standard output, for the board, which runs
// it once per picture under limits of time and memory. Exit status 0 when a PNG was written, 1 when
// the file is not a picture it can draw, 2 when it was called wrongly or cannot write.
//   velmora-metafile FILE
#include <seccomp.h>

#include <QFile>
#include <QGuiApplication>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>

#include "metafile_convert.h"
#include "platform/qt/metafile_kind.h"

namespace {

// No network: a parser led astray must not reach anything. Sockets are refused outright through
// seccomp, which needs no privilege (a network namespace needs user namespaces, which some
// systems switch off). Returns false when the filter could not be installed.
bool refuseSockets() {
    const std::unique_ptr<void, decltype(&seccomp_release)> filter(seccomp_init(SCMP_ACT_ALLOW),
                                                                   &seccomp_release);
    return filter &&
           seccomp_rule_add(filter.get(), SCMP_ACT_ERRNO(EACCES), SCMP_SYS(socket), 0) == 0 &&
           seccomp_rule_add(filter.get(), SCMP_ACT_ERRNO(EACCES), SCMP_SYS(socketpair), 0) == 0 &&
           seccomp_load(filter.get()) == 0;
}

bool writeAll(const QByteArray& bytes) {
    return std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) ==
               static_cast<size_t>(bytes.size()) &&
           std::fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: velmora-metafile FILE\n", stderr);
        return 2;
    }
    if (!refuseSockets()) {
        std::fputs("velmora-metafile: cannot refuse network access\n", stderr);
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) return 1;
    const QByteArray data = file.read(velmora::metafile::kMaxInputBytes + 1);

    // Text in an EMF needs the font database, and so an application object; a WMF does not.
    std::optional<QGuiApplication> app;
    if (velmora::qt::isEmf(data)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app.emplace(argc, argv);
    }
    const QByteArray png = velmora::metafile::convertToPng(data);
    if (png.isEmpty()) return 1;
    return writeAll(png) ? 0 : 2;
}
