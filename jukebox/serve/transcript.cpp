// SPDX-License-Identifier: MIT
#include "serve/transcript.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "common/encoding.h"

namespace velmora::jukebox {

namespace {

std::string timestamp() {
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss time(now - day);
    char text[32];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
        static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

}  // namespace

// Binary: LF line ends on every system, so a transcript reads the same everywhere.
Transcript::Transcript(const std::filesystem::path& file)
    : out_(file, std::ios::trunc | std::ios::binary) {
    if (!out_) throw std::runtime_error("cannot write the transcript '" + pathToUtf8(file) + "'");
}

void Transcript::write(std::uint64_t connection, char direction, std::string_view line) {
    std::string text = timestamp();
    text.append(" #").append(std::to_string(connection)).append(1, ' ');
    text += direction;
    text += ' ';
    for (const char ch : line) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        } else {
            text += ch;
        }
    }
    text += '\n';
    // A full disk must not stop the jukebox: the stream just stays failed.
    out_ << text << std::flush;
}

}  // namespace velmora::jukebox
