// SPDX-License-Identifier: MIT
#include "platform/qt/qt_metafiles.h"

#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include "platform/qt/address_sanitizer.h"

namespace velmora::qt {
namespace {

// Under AddressSanitizer the address space holds the shadow memory: no limit fits it.
constexpr bool kCanLimitAddressSpace = !kAddressSanitizer;

void limit(int resource, rlim_t soft, rlim_t hard) {
    const rlimit value{soft, hard};
    setrlimit(resource, &value);
}

}  // namespace

QString defaultMetafileHelper() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/velmora-metafile");
}

QByteArray convertMetafile(const QString& helper, const QString& path,
                           const MetafileLimits& limits) {
    QProcess process;
    process.setProgram(helper);
    process.setArguments({path});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // Runs in the child between fork and exec: only system calls here.
    process.setChildProcessModifier([limits] {
        limit(RLIMIT_CPU, rlim_t(limits.cpuSeconds), rlim_t(limits.cpuSeconds + 1));
        if (kCanLimitAddressSpace)
            limit(RLIMIT_AS, rlim_t(limits.memoryBytes), rlim_t(limits.memoryBytes));
        limit(RLIMIT_FSIZE, 0, 0);  // it writes no file, only its standard output
        limit(RLIMIT_CORE, 0, 0);   // a crash is an answer, not a core file
    });

    QElapsedTimer clock;
    clock.start();
    const auto left = [&] { return std::max(0, limits.wallMs - int(clock.elapsed())); };
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(left())) {
        process.kill();
        process.waitForFinished(left());
        return {};
    }
    QByteArray png;
    bool tooLarge = false;
    while (process.state() == QProcess::Running && left() > 0 && !tooLarge) {
        process.waitForReadyRead(left());
        png += process.read(limits.outputBytes + 1 - png.size());
        tooLarge = png.size() > limits.outputBytes;
    }
    if (process.state() == QProcess::Running) {  // out of time, or too much said
        process.kill();
        process.waitForFinished(1000);  // SIGKILL: the kernel ends it at once
        return {};
    }
    png += process.read(limits.outputBytes + 1 - png.size());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 ||
        png.size() > limits.outputBytes)
        return {};
    return png;
}

}  // namespace velmora::qt
