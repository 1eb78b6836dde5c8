// SPDX-License-Identifier: MIT
// Windows metafiles (WMF) and enhanced metafiles (EMF) are drawn by velmora-metafile, a program
// of its own run once per picture under limits: the libraries that read them trust their input,
// and a picture must never crash, hang or flood the board.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <functional>

#include "platform/qt/metafile_kind.h"

namespace velmora::qt {

struct MetafileLimits {
    int wallMs = 2000;               // the longest one picture may take
    int cpuSeconds = 2;              // then SIGXCPU, a second later SIGKILL
    qint64 memoryBytes = 1LL << 30;  // address space: Qt and its libraries take a few hundred MB
    qint64 outputBytes = 32 * 1024 * 1024;
};

// velmora-metafile beside the running program.
QString defaultMetafileHelper();

// One run of the helper on one file, driven by the event loop: nothing here waits. `done` gets the
// helper's PNG, or nothing when it failed, crashed, overran a limit or wrote too much. Destroying
// the run first kills the helper, and `done` never runs.
class MetafileRun final : public QObject {
  public:
    // reaper: outlives the run and takes over a helper that is killed but not yet gone.
    MetafileRun(const QString& helper, const QString& path, const MetafileLimits& limits,
                QObject& reaper, std::function<void(QByteArray)> done);
    ~MetafileRun() override;

  private:
    void readOutput();
    void ended();
    void finish(QByteArray png);
    void letGo();

    QObject& reaper_;
    QProcess* process_;
    QTimer wall_;
    QByteArray png_;
    qint64 outputBytes_;
    std::function<void(QByteArray)> done_;
};

}  // namespace velmora::qt
