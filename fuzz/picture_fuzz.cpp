// SPDX-License-Identifier: MIT
// The Linux board's picture loader: the input is a cover file, decoded from a scratch file the way
// the backend's workers decode a cover a "playing" message names (metafiles only recognised: they
// have a target of their own).
//
// A file is a picture of some size, or it is refused as not a picture; nothing else may happen.
#include <unistd.h>

#include <QGuiApplication>
#include <QImageReader>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/qt/qt_pictures.h"

using namespace velmora;
namespace fs = std::filesystem;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// A file of its own, removed at exit.
const std::string& scratchFile() {
    static const struct File {
        std::string path =
            (fs::temp_directory_path() / ("velmora-picture-fuzz-" + std::to_string(getpid())))
                .string();
        ~File() { fs::remove(path); }
    } file;
    return file.path;
}

// Qt's decoders are not instrumented: counters that libFuzzer reads tell it which reader took
// the file and how wide the picture came out, so it keeps an input of each kind to work on.
__attribute__((section("__libfuzzer_extra_counters"))) std::uint8_t kindCounters[64];

void markKind(const QByteArray& format, int width) {
    static const char* const kinds[] = {"bmp",  "gif", "jpeg", "png", "svg", "ico",
                                        "pbm",  "pgm", "ppm",  "xbm", "xpm", "webp",
                                        "tiff", "tga", "icns", "wbmp"};
    std::size_t kind = 0;
    while (kind < std::size(kinds) && format != kinds[kind]) ++kind;
    ++kindCounters[kind];
    int bits = 0;
    for (; width > 0 && bits < 31; ++bits) width >>= 1;
    ++kindCounters[32 + bits];
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    scratchFile();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ofstream(scratchFile(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), size);
    int width = -1;
    try {
        const qt::Decoded decoded =
            qt::decodeFile(QString::fromStdString(scratchFile()), QSize(1280, 1024));
        check(decoded.metafile || (!decoded.image.isNull() && !decoded.size.isEmpty()));
        width = decoded.size.width();
    } catch (const Failure& failure) {
        check(failure.code() == ErrorCode::InvalidPicture);
    }
    markKind(QImageReader::imageFormat(QString::fromStdString(scratchFile())), width);
    return 0;
}
