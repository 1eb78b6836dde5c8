// SPDX-License-Identifier: MIT
#include "platform/qt/qt_metafiles.h"

#include <sys/resource.h>

#include <QCoreApplication>

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

MetafileRun::MetafileRun(const QString& helper, const QString& path, const MetafileLimits& limits,
                         QObject& reaper, std::function<void(QByteArray)> done)
    : reaper_(reaper),
      process_(new QProcess(this)),
      outputBytes_(limits.outputBytes),
      done_(std::move(done)) {
    process_->setProgram(helper);
    process_->setArguments({path});
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->setStandardErrorFile(QProcess::nullDevice());
    // Runs in the child between fork and exec: only system calls here.
    process_->setChildProcessModifier([limits] {
        limit(RLIMIT_CPU, rlim_t(limits.cpuSeconds), rlim_t(limits.cpuSeconds + 1));
        if (kCanLimitAddressSpace)
            limit(RLIMIT_AS, rlim_t(limits.memoryBytes), rlim_t(limits.memoryBytes));
        limit(RLIMIT_FSIZE, 0, 0);  // it writes no file, only its standard output
        limit(RLIMIT_CORE, 0, 0);   // a crash is an answer, not a core file
    });
    connect(process_, &QProcess::readyReadStandardOutput, this, &MetafileRun::readOutput);
    connect(process_, &QProcess::finished, this, &MetafileRun::ended);
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) finish({});
    });
    wall_.setSingleShot(true);
    connect(&wall_, &QTimer::timeout, this, [this] { finish({}); });
    wall_.start(limits.wallMs);
    process_->start(QIODevice::ReadOnly);
}

MetafileRun::~MetafileRun() {
    letGo();
}

void MetafileRun::readOutput() {
    png_ += process_->read(outputBytes_ + 1 - png_.size());
    if (png_.size() > outputBytes_) finish({});  // too much said
}

void MetafileRun::ended() {
    png_ += process_->read(outputBytes_ + 1 - png_.size());
    const bool ok = process_->exitStatus() == QProcess::NormalExit && process_->exitCode() == 0 &&
                    png_.size() <= outputBytes_;
    finish(ok ? std::move(png_) : QByteArray());
}

void MetafileRun::finish(QByteArray png) {
    letGo();
    if (auto done = std::exchange(done_, nullptr)) done(std::move(png));  // may destroy this run
}

// A helper still running is killed and handed to the reaper, which deletes it once the kernel has
// ended it: the board never waits for that.
void MetafileRun::letGo() {
    wall_.stop();
    if (!process_) return;
    QProcess* process = std::exchange(process_, nullptr);
    process->disconnect(this);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    process->kill();
    process->setParent(&reaper_);
    connect(process, &QProcess::stateChanged, process, [process](QProcess::ProcessState state) {
        if (state == QProcess::NotRunning) process->deleteLater();
    });
}

}  // namespace velmora::qt
