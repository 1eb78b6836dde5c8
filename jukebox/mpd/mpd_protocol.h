// SPDX-License-Identifier: MIT
// What the service reads from an MPD server, as pure functions: where the server is, its replies
// cut from the byte stream with every size bounded, and the status and songs in them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/track.h"

namespace velmora::jukebox {

inline constexpr std::uint16_t kMpdDefaultPort = 6600;

struct MpdAddress {
    std::string password;  // empty: none sent
    std::string host = "localhost";
    std::uint16_t port = kMpdDefaultPort;

    // A local socket: a path, or "@name" for Linux's abstract namespace.
    bool local() const { return host.starts_with('/') || host.starts_with('@'); }
    std::string describe() const;
};

class MpdAddressError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// From "--mpd [PASSWORD@]HOST[:PORT]" when given, else from MPD_HOST ("[PASSWORD@]HOST", a host
// may be a socket path) and MPD_PORT, as MPD's own clients read them; IPv6 hosts in brackets.
// Throws MpdAddressError.
MpdAddress parseMpdAddress(std::optional<std::string_view> argument, const char* environmentHost,
                           const char* environmentPort);

// An argument on a command line to MPD: in double quotes, with " and \ escaped.
std::string mpdQuote(std::string_view argument);

struct MpdReply {
    bool ok = true;
    std::string error;  // the ACK line's text when not ok
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string binary;  // the chunk of a binary reply

    // The first value of a key, or nothing.
    std::optional<std::string_view> find(std::string_view key) const;
};

struct MpdLimits {
    std::size_t maxLineBytes = 64 * 1024;
    std::size_t maxReplyBytes = 8 * 1024 * 1024;  // the text of one reply, all lines together
    std::size_t maxBinaryBytes = 1024 * 1024;     // one binary chunk
};

// Cuts MPD's byte stream into the greeting and the replies. Anything that breaks the protocol
// (a line past the bound, a reply or binary chunk too large, a line that is not "key: value",
// no greeting) leaves it broken: the connection is then of no further use.
class MpdReplyParser {
  public:
    explicit MpdReplyParser(MpdLimits limits = {}) : limits_(limits) {}

    // Calls `greeted` with the protocol version once, then `reply` for each complete reply.
    // Returns false once the stream is broken; error() says why.
    bool feed(std::string_view bytes, const std::function<void(std::string_view)>& greeted,
              const std::function<void(MpdReply&)>& reply);
    bool broken() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

  private:
    bool line(std::string_view text, const std::function<void(std::string_view)>& greeted,
              const std::function<void(MpdReply&)>& reply);
    bool fail(std::string why);

    MpdLimits limits_;
    std::string partial_;
    MpdReply current_;
    std::size_t replyBytes_ = 0;
    std::size_t binaryLeft_ = 0;  // bytes of a chunk still to come
    bool inBinary_ = false;
    bool greeted_ = false;
    std::string error_;
};

enum class MpdState { Stop, Play, Pause };

struct MpdStatus {
    MpdState state = MpdState::Stop;
    std::optional<std::size_t> song;      // 0-based queue position
    std::optional<std::size_t> nextSong;  // what MPD will play next (random, repeat... applied)
    double elapsed = 0;
    std::size_t queueLength = 0;
    std::string queueVersion;
};

MpdStatus parseStatus(const MpdReply& reply);

struct MpdSong {
    std::string file;
    Track track;
    std::optional<std::size_t> position;
};

// The songs of a playlistinfo or currentsong reply. Artist falls back to the album artist, the
// title to the file's name; a missing duration leaves the length unknown.
std::vector<MpdSong> parseSongs(const MpdReply& reply);

}  // namespace velmora::jukebox
