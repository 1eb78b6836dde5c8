// SPDX-License-Identifier: MIT
// The line protocol between a link control and the jukebox service: framing, the lines each side
// writes, and their validation. docs/link-protocol.md is the reference for both ends.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::link {

inline constexpr std::size_t kMaxLineBytes = 8192;  // terminator excluded
inline constexpr std::size_t kMaxEndpointBytes = 64;
inline constexpr std::string_view kHello = "VELMORA-LINK 1";  // each side's first line

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view bytes);
// 1..64 bytes of UTF-8 with no space and no control character.
bool isValidEndpoint(std::string_view name);
// UTF-8 with no CR, LF or NUL; may be empty.
bool isValidText(std::string_view text);

// Cuts a byte stream into lines. Lines end in LF; a CR right before it is dropped. A line longer
// than kMaxLineBytes is discarded whole and never held: at most kMaxLineBytes + 1 bytes are
// buffered. A line that is not valid UTF-8 is discarded.
class LineReader {
  public:
    // Calls onLine(std::string_view) for each complete line in the stream so far.
    template <class OnLine>
    void feed(std::string_view bytes, OnLine&& onLine);
    // The stream ended: a partial line is dropped.
    void reset() {
        partial_.clear();
        discarding_ = false;
    }
    std::size_t buffered() const { return partial_.size(); }

  private:
    // Drops the CR before the LF; false when the line is to be discarded.
    static bool accept(std::string_view& line);

    std::string partial_;
    bool discarding_ = false;  // inside an over-long line, until its LF
};

// Lines written by the client, each ending in LF. Arguments must already be valid.
std::string encodeHello();
std::string encodeOpen(std::string_view endpoint, std::string_view options);
std::string encodeSend(std::string_view endpoint, std::string_view text);
std::string encodeClose(std::string_view endpoint);
// Lines written by the service.
std::string encodeServiceHello(std::string_view description);
std::string encodeMessage(std::string_view endpoint, std::string_view text);
std::string encodeError(std::string_view text);

// A line read by either side, cut into its fields (views into the line).
struct Line {
    enum class Kind { Hello, Open, Send, Close, Message, Error, Invalid };
    Kind kind = Kind::Invalid;
    std::string_view endpoint;
    std::string_view text;  // options, command, message, error or the service's description
};
// A line from a client (Hello, Open, Send, Close) or from a service (Hello, Message, Error).
// Anything else, or a field that breaks its rule, is Invalid.
Line parseClientLine(std::string_view line);
Line parseServiceLine(std::string_view line);

template <class OnLine>
void LineReader::feed(std::string_view bytes, OnLine&& onLine) {
    while (!bytes.empty()) {
        const auto end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
        const bool complete = end != std::string_view::npos;

        if (discarding_) {
            if (complete) discarding_ = false;
            continue;
        }
        // One more byte than a line may hold leaves room for the CR before the LF.
        if (partial_.size() + piece.size() > kMaxLineBytes + 1) {
            partial_.clear();
            discarding_ = !complete;
            continue;
        }
        if (!complete) {
            partial_.append(piece);
            continue;
        }
        std::string_view line = piece;
        if (!partial_.empty()) {
            partial_.append(piece);
            line = partial_;
        }
        if (accept(line)) onLine(line);
        partial_.clear();
    }
}

}  // namespace velmora::link
