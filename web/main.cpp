// SPDX-License-Identifier: MIT
// velmora-web: the now-playing board for browsers. A board on the jukebox's link like velmora2000,
// the same core on a backend of its own, whose screen is every page that opens it.
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/system/system_error.hpp>
#include <csignal>
#include <iostream>
#include <vector>

#include "backend/ini_settings_store.h"
#include "backend/metafile_helper.h"
#include "backend/web_platform.h"
#include "board_feed.h"
#include "options.h"
#include "server/http_server.h"
#include "shell/program.h"

using namespace velmora::web;

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    Options options;
    try {
        options = parseOptions(args);
    } catch (const UsageError& error) {
        std::cerr << "velmora-web: " << error.what() << "\nTry 'velmora-web --help'.\n";
        return 2;
    }
    if (options.help) {
        std::cout << usage();
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);

    boost::asio::io_context io(1);
    IniSettingsStore stored;  // the board's settings, read as the board reads them
    AddressedSettings settings(stored, options.jukebox);
    // Metafiles are drawn by the board's helper, installed beside the programs.
    MetafileHelper metafiles(io, MetafileHelper::besideThisProgram());
    CoverShelf covers(io, &metafiles);
    BoardFeed feed([&io](std::function<void()> task) { boost::asio::post(io, std::move(task)); });
    WebPlatform platform(io, feed, settings, covers);
    const Site site(covers);

    ServerLimits limits;
    limits.maxPages = options.maxPages;
    std::optional<HttpServer> server;
    try {
        server.emplace(io, options.listenHost, options.listenPort, limits, site,
                       [&feed] { return feed.snapshot(); });
    } catch (const boost::system::system_error& error) {
        std::cerr << "velmora-web: cannot listen on " << options.listenHost << ":"
                  << options.listenPort << ": " << error.code().message() << '\n';
        return 1;
    }
    feed.setSink(&*server);
    std::cout << "velmora-web: the board is at http://" << server->address() << "/" << std::endl;

    // SIGTERM, SIGINT and SIGHUP close the board as the desktop closes a window: it says goodbye
    // to the jukebox, and the program ends once it is gone.
    boost::asio::signal_set endings(io, SIGTERM, SIGINT, SIGHUP);
    endings.async_wait([&](const boost::system::error_code& error, int) {
        if (error) return;
        server->stop();
        feed.setSink(nullptr);
        platform.closeWindows();
    });

    velmora::platform::Services services = platform.services();
    velmora::shell::runProgram(services, [&] {
        if (!platform.finished()) io.run();
    });
    return platform.exitCode();
}
