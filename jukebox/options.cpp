// SPDX-License-Identifier: MIT
#include "options.h"

#include <cmath>
#include <optional>
#include <vector>

#include "velmora/whole_number.h"

namespace velmora::jukebox {

namespace {

std::uint16_t parsePort(std::string_view text) {
    const auto value = velmora::wholeNumber<unsigned>(text);
    if (!value || *value > 65535)
        throw UsageError("--port needs a number from 0 to 65535, not '" + std::string(text) + "'");
    return static_cast<std::uint16_t>(*value);
}

std::size_t parseClients(std::string_view text) {
    const auto value = velmora::wholeNumber<unsigned>(text);
    if (!value || *value < 1 || *value > 4096)
        throw UsageError("--max-clients needs a number from 1 to 4096, not '" + std::string(text) +
                         "'");
    return *value;
}

double parseSpeed(std::string_view text) {
    const auto value = velmora::decimalNumber(text);
    if (!value || !std::isfinite(*value) || *value < kMinSpeed || *value > kMaxSpeed)
        throw UsageError("--speed needs a number from 0.01 to 1000000, not '" + std::string(text) +
                         "'");
    return *value;
}

}  // namespace

Options parseOptions(std::span<const std::string_view> args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> inlineValue;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            inlineValue = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        const auto value = [&]() -> std::string_view {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= args.size()) throw UsageError(std::string(name) + " needs a value");
            return args[++i];
        };
        const auto flag = [&] {
            if (inlineValue) throw UsageError(std::string(name) + " takes no value");
            return true;
        };

        if (name == "--help" || name == "-h")
            options.help = flag();
        else if (name == "--demo")
            options.demo = flag();
        else if (name == "--host")
            options.host = value();
        else if (name == "--port")
            options.port = parsePort(value());
        else if (name == "--playlist")
            options.playlist = value();
        else if (name == "--max-clients")
            options.maxClients = parseClients(value());
        else if (name == "--speed")
            options.speed = parseSpeed(value());
        else if (name == "--mpd" || name == "--mpris") {
            // The value is optional: a following option or nothing means the default.
            auto& target = name == "--mpd" ? options.mpd : options.mpris;
            if (inlineValue)
                target = std::string(*inlineValue);
            else if (i + 1 < args.size() && !args[i + 1].starts_with("-"))
                target = std::string(args[++i]);
            else
                target = std::string();
        } else if (name == "--cover-dir")
            options.coverDir = value();
        else if (name == "--cover-path-as")
            options.coverPathAs = value();
        else if (name == "--transcript")
            options.transcript = value();
        else if (name == "--web")
            options.web = value();
        else
            throw UsageError("unknown option '" + std::string(args[i]) + "'");
    }
    if (options.help) return options;
    if (options.host.empty()) throw UsageError("--host needs a value");
    const int modes = int(options.demo) + int(!options.playlist.empty()) +
                      int(options.mpd.has_value()) + int(options.mpris.has_value());
    if (modes > 1) throw UsageError("choose one of --demo, --playlist, --mpd and --mpris");
    if (modes == 0)
        throw UsageError("choose --demo, --playlist FILE, --mpd [HOST[:PORT]] or --mpris [PLAYER]");
    if (!options.mpd && !options.mpris &&
        (!options.coverDir.empty() || !options.coverPathAs.empty()))
        throw UsageError("--cover-dir and --cover-path-as go with --mpd or --mpris");
    if (!options.coverPathAs.empty() && options.coverDir.empty())
        throw UsageError("--cover-path-as needs --cover-dir");
    return options;
}

std::string usage() {
    return R"(Usage: velmora-jukebox (--demo | --playlist FILE.m3u | --mpd [HOST[:PORT]] |
                       --mpris [PLAYER]) [options]

Plays a jukebox's playlist in real time, or follows an MPD server or media players
(MPRIS), and tells every connected Velmora2000 board what is playing.

  --demo              play the built-in discs, with generated covers
  --playlist FILE     play an M3U playlist (#EXTINF length and "Artist - Title",
                      #EXTALB album, folder.jpg or cover.jpg beside each file)
  --mpd [ADDRESS]     follow an MPD server: [PASSWORD@]HOST[:PORT], [IPv6]:PORT or a
                      socket path; without ADDRESS, the one the Windows installer
                      stored, else MPD_HOST and MPD_PORT as MPD's clients read them,
                      else localhost:6600
  --mpris [PLAYER]    follow media players (MPRIS, Linux) on the system bus (AirPlay,
                      Spotify Connect) and the session bus: the one that plays; with
                      PLAYER only org.mpris.MediaPlayer2.PLAYER (e.g. vlc)
  --cover-dir DIR     write covers into DIR (default: the user's cache folder)
  --cover-path-as P   send boards P + the cover's file name instead of its path here
                      (for a folder that other machines open as P, e.g. \\pc\covers\)
  --host ADDRESS      address to listen on (default 127.0.0.1)
  --port N            port to listen on (default 47321; 0 picks a free one)
  --max-clients N     boards served at once (1 to 4096; default 64)
  --speed X           play X seconds per real second (0.01 to 1000000; default 1)
  --transcript FILE   write every line received and sent to FILE
  --web [ADDRESS:]PORT  show the board to browsers too: starts velmora-web there
                      (default address 127.0.0.1, this machine only)
  --help              show this text

Stops on Ctrl+C or SIGTERM.
)";
}

}  // namespace velmora::jukebox
