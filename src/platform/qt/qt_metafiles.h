// SPDX-License-Identifier: MIT
// Windows metafiles (WMF) and enhanced metafiles (EMF) are drawn by velmora-metafile, a program
// of its own run once per picture under limits: the libraries that read them trust their input,
// and a picture must never crash, hang or flood the board.
#pragma once

#include <QByteArray>
#include <QString>

#include "platform/qt/metafile_kind.h"

namespace velmora::qt {

struct MetafileLimits {
    int wallMs = 2000;               // the board never waits longer on one picture
    int cpuSeconds = 2;              // then SIGXCPU, a second later SIGKILL
    qint64 memoryBytes = 1LL << 30;  // address space: Qt and its libraries take a few hundred MB
    qint64 outputBytes = 32 * 1024 * 1024;
};

// velmora-metafile beside the running program.
QString defaultMetafileHelper();

// The helper's PNG of the file; empty when it failed, crashed, overran a limit or wrote too much.
QByteArray convertMetafile(const QString& helper, const QString& path,
                           const MetafileLimits& limits = {});

}  // namespace velmora::qt
