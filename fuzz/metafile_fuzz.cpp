// SPDX-License-Identifier: MIT
// libFuzzer target: velmora-metafile's conversion of a WMF or EMF into PNG.
#include <QByteArray>
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "metafile_convert.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // EMF text needs the font database, as in the helper itself.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    velmora::metafile::convertToPng(bytes);
    return 0;
}
