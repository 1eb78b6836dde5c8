// SPDX-License-Identifier: MIT
#include "options.h"

#include <charconv>

#include "link/socket_link.h"

namespace velmora::web {
namespace {

bool isPort(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 1 && value <= 65535;
}

std::size_t count(std::string_view name, std::string_view text) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0)
        throw UsageError(std::string(name) + " wants a whole number above 0, not \"" +
                         std::string(text) + "\"");
    return value;
}

}  // namespace

JukeboxAddress splitAddress(std::string_view text, std::string_view defaultPort) {
    std::string_view host = text;
    std::string_view port = defaultPort;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos)
            throw UsageError("no ']' in \"" + std::string(text) + "\"");
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (!rest.starts_with(':'))
                throw UsageError("\"" + std::string(text) + "\" is no address");
            port = rest.substr(1);
        }
    } else if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        if (text.find(':') != colon)
            throw UsageError("an IPv6 address goes in brackets: \"[" + std::string(text) + "]\"");
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host.empty()) throw UsageError("no host in \"" + std::string(text) + "\"");
    if (!isPort(port)) throw UsageError("\"" + std::string(port) + "\" is no port (1-65535)");
    return JukeboxAddress{std::string(host), std::string(port)};
}

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
            if (i + 1 >= args.size()) throw UsageError(std::string(name) + " wants a value");
            return args[++i];
        };
        if (name == "--listen") {
            const std::string_view text = value();
            if (text.find(':') == std::string_view::npos || text.ends_with(':') ||
                text.ends_with(']'))
                throw UsageError("--listen wants ADDRESS:PORT, not \"" + std::string(text) + "\"");
            const JukeboxAddress listen = splitAddress(text, "");
            options.listenHost = listen.host;
            options.listenPort = listen.port;
        } else if (name == "--jukebox") {
            options.jukebox = splitAddress(value(), std::to_string(link::SocketLink::kDefaultPort));
        } else if (name == "--max-pages") {
            options.maxPages = count(name, value());
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else {
            throw UsageError("unknown option \"" + std::string(args[i]) + "\"");
        }
    }
    return options;
}

std::string usage() {
    return R"(Usage: velmora-web [--listen ADDRESS:PORT] [--jukebox HOST[:PORT]] [--max-pages N]

The now-playing board for browsers: a board on the jukebox's link, shown to every page that opens
http://ADDRESS:PORT/ and kept current as the music plays.

  --listen ADDRESS:PORT  where pages connect (default 127.0.0.1:8047, this machine only); an
                         address of the home network lets every device on it see the board
  --jukebox HOST[:PORT]  the jukebox service (default: the board's settings, else 127.0.0.1:47321)
  --max-pages N          open pages at most (default 1000); one more is told to come back later
  --help                 this text

Page options, in its address: see velmora-web(1).
)";
}

}  // namespace velmora::web
