// SPDX-License-Identifier: MIT
// A record of every line the service received and sent, one line each with a UTC timestamp and
// the connection's number, flushed at once so that another program can follow it live:
//   2026-12-08T21:03:04.125Z #2 < SEND cdj playlist_getpointer
//   2026-12-08T21:03:04.125Z #2 > MSG cdjr playlist_pointer[4]
//   2026-12-08T21:03:09.002Z #2 * closed: end of stream
// Control characters in a line are written as \xNN.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace velmora::jukebox {

class Transcript {
  public:
    // Throws std::runtime_error when the file cannot be created.
    explicit Transcript(const std::filesystem::path& file);

    void received(std::uint64_t connection, std::string_view line) { write(connection, '<', line); }
    void sent(std::uint64_t connection, std::string_view line) { write(connection, '>', line); }
    void event(std::uint64_t connection, std::string_view what) { write(connection, '*', what); }

  private:
    void write(std::uint64_t connection, char direction, std::string_view line);

    std::ofstream out_;
};

}  // namespace velmora::jukebox
