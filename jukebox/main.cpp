// SPDX-License-Identifier: MIT
// velmora-jukebox: the other end of the board's link. Plays a playlist (the demo discs or an M3U
// file) in real time, or follows an MPD server or the desktop's players, and answers every board
// that connects.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include "common/encoding.h"
#include "covers/cover_folder.h"
#include "mpd/mpd_bridge.h"
#include "playlist/demo.h"
#include "playlist/m3u.h"
#ifdef VELMORA_MPRIS
#include "mpris/mpris_bridge.h"
#endif
#include "options.h"
#include "serve/server.h"
#include "serve/transcript.h"
#include "stored_settings.h"
#include "web_board.h"

using namespace velmora::jukebox;

namespace {

constexpr std::string_view kName = "velmora-jukebox";

Playlist loadPlaylist(const Options& options) {
    if (options.demo) return demoPlaylist(serviceCacheFolder());
    PlaylistFile file = loadM3u(pathFromUtf8(options.playlist));
    for (const std::string& warning : file.warnings)
        std::cerr << kName << ": warning: " << warning << '\n';
    return std::move(file.tracks);
}

std::string describe(const asio::ip::tcp::endpoint& endpoint) {
    const auto address = endpoint.address();
    const std::string host =
        address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
    return host + ":" + std::to_string(endpoint.port());
}

// Where boards connect, how many at once, and what the service calls itself in its hello.
ServerConfig serverConfig(const Options& options) {
    ServerConfig config;
    config.host = options.host;
    config.port = options.port;
    config.maxClients = options.maxClients;
    config.speed = options.speed;
    const std::string_view mode = options.mpd     ? "mpd"
                                  : options.mpris ? "mpris"
                                  : options.demo  ? "demo"
                                                  : "playlist";
    config.description = std::string(kName) + " " + std::string(mode);
    return config;
}

std::unique_ptr<Transcript> openTranscript(const Options& options) {
    if (options.transcript.empty()) return nullptr;
    return std::make_unique<Transcript>(pathFromUtf8(options.transcript));
}

// What a source has to say goes to standard error, under the program's name.
void logLine(const std::string& line) {
    std::cerr << kName << ": " << line << std::endl;
}

std::filesystem::path coverFolder(const Options& options) {
    return options.coverDir.empty() ? serviceCacheFolder() / "covers"
                                    : pathFromUtf8(options.coverDir);
}

// Runs until SIGINT or SIGTERM stops it.
template <class Source = MpdBridge>
void serve(asio::io_context& io, Server& server, Source* source = nullptr) {
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const std::error_code& error, int) {
        if (error) return;
        if (source) source->stop();
        server.stop();
    });
    io.run();
    std::cout << kName << ": stopped" << std::endl;
}

int followMpd(const Options& options, const ServerConfig& config) {
    MpdBridgeConfig bridgeConfig;
    try {
        // An address given wins; without one, the stored one, then MPD's own variables.
        const std::string given = options.mpd->empty() ? storedMpdAddress() : *options.mpd;
        bridgeConfig.address =
            parseMpdAddress(given, std::getenv("MPD_HOST"), std::getenv("MPD_PORT"));
    } catch (const MpdAddressError& error) {
        std::cerr << kName << ": " << error.what() << '\n';
        return 2;
    }
    bridgeConfig.coverFolder = coverFolder(options);
    bridgeConfig.coverPrefix = options.coverPathAs;
    try {
        const std::unique_ptr<Transcript> transcript = openTranscript(options);
        asio::io_context io;
        MpdBridge bridge(io, bridgeConfig, logLine);
        Server server(io, bridge, config, transcript.get());
        std::cout << kName << ": listening on " << describe(server.endpoint())
                  << ", following MPD at " << bridgeConfig.address.describe() << std::endl;
        bridge.start(server);
        serve(io, server, &bridge);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << kName << ": " << error.what() << '\n';
        return 1;
    }
}

int followMpris(const Options& options, const ServerConfig& config) {
#ifdef VELMORA_MPRIS
    mpris::MprisBridgeConfig bridgeConfig;
    bridgeConfig.player = *options.mpris;
    bridgeConfig.coverFolder = coverFolder(options);
    bridgeConfig.coverPrefix = options.coverPathAs;
    // The system bus first (receivers run as services: AirPlay, Spotify Connect), then the session
    // bus where there is one: a service started outside a session has none to look for.
    const bool session = mpris::sessionBusNamed(std::getenv("DBUS_SESSION_BUS_ADDRESS"),
                                                std::getenv("XDG_RUNTIME_DIR"));
    std::vector<mpris::BusKind> kinds{mpris::BusKind::System};
    if (session) kinds.push_back(mpris::BusKind::Session);
    try {
        const std::unique_ptr<Transcript> transcript = openTranscript(options);
        asio::io_context io;
        std::vector<mpris::BusToFollow> buses;
        std::string where;
        for (const mpris::BusKind kind : kinds) {
            // A bus that goes away is opened again: meanwhile its players are not shown.
            buses.push_back({kind, [&io, kind](mpris::MessageBus::Lost lost) {
                                 return std::make_unique<mpris::Bus>(io, kind, std::move(lost));
                             }});
            where += std::string(where.empty() ? " on the " : " and the ") + mpris::busName(kind);
        }
        mpris::MprisBridge bridge(io, bridgeConfig, logLine, std::move(buses));
        Server server(io, bridge, config, transcript.get());
        std::cout << kName << ": listening on " << describe(server.endpoint()) << ", following "
                  << (bridgeConfig.player.empty() ? "the players"
                                                  : "org.mpris.MediaPlayer2." + bridgeConfig.player)
                  << where << std::endl;
        bridge.start(server);
        serve(io, server, &bridge);
        return 0;
    } catch (const mpris::NoBus& error) {
        std::cerr << kName
                  << ": --mpris follows players on the system bus and the session bus, and "
                  << error.what()
                  << (session ? ""
                              : ", no session bus (DBUS_SESSION_BUS_ADDRESS is not set and "
                                "$XDG_RUNTIME_DIR/bus is not there)")
                  << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << kName << ": " << error.what() << '\n';
        return 1;
    }
#else
    (void)options;
    (void)config;
    std::cerr << kName
              << ": --mpris follows media players on Linux (MPRIS on the session and system "
                 "buses); there is none here\n";
    return 2;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    Options options;
    try {
        options = parseOptions(args);
    } catch (const UsageError& error) {
        std::cerr << kName << ": " << error.what() << "\nTry '" << kName << " --help'.\n";
        return 2;
    }
    if (options.help) {
        std::cout << usage();
        return 0;
    }
    // Started before anything else runs (no thread yet), ended when main returns.
    std::optional<WebBoard> webBoard;
    if (!options.web.empty()) {
        try {
            webBoard.emplace(options);
        } catch (const std::exception& error) {
            std::cerr << kName << ": " << error.what() << '\n';
            return 2;
        }
    }

    const ServerConfig config = serverConfig(options);
    if (options.mpd) return followMpd(options, config);
    if (options.mpris) return followMpris(options, config);
    try {
        Playlist playlist = loadPlaylist(options);
        const std::size_t tracks = playlist.size();
        const std::unique_ptr<Transcript> transcript = openTranscript(options);

        asio::io_context io;
        Server server(io, std::move(playlist), config, transcript.get());

        std::cout << kName << ": listening on " << describe(server.endpoint()) << ", " << tracks
                  << " tracks" << (options.demo ? " (demo)" : "") << std::endl;
        serve(io, server);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << kName << ": " << error.what() << '\n';
        return 1;
    }
}
