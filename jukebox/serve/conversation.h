// SPDX-License-Identifier: MIT
// One board's conversation with the jukebox: the link's handshake and endpoints, the commands
// sent through a transmit endpoint, and the messages owed on its receive endpoints. No sockets:
// the connection feeds it lines and writes out what it answers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::jukebox {

class NowPlaying;

class Conversation {
  public:
    // Lines to write to the client, each ending in LF.
    using Output = std::vector<std::string>;

    static constexpr std::size_t kMaxEndpoints = 16;

    // Handles one line from the client (terminator removed, valid UTF-8).
    void handleLine(std::string_view line, const NowPlaying& player, Output& out);
    // What the player did, for the notifications this client asked for.
    void trackStarted(const NowPlaying& player, Output& out) const;
    void secondPassed(const NowPlaying& player, Output& out) const;

    // The client's first line has come (a wrong one finishes the conversation).
    bool greeted() const { return greeted_ || finished_; }
    // The client broke the protocol: write what is queued, then hang up.
    bool finished() const { return finished_; }

  private:
    struct Endpoint {
        std::string name;
        bool transmit = false;  // opened with "type=devtx": carries commands
        bool receive = false;   // opened with "type=devrx": gets the messages
    };

    void open(std::string_view name, std::string_view options, Output& out);
    void close(std::string_view name, Output& out);
    void command(std::string_view endpoint, std::string_view text, const NowPlaying& player,
                 Output& out);
    void item(std::string_view number, const NowPlaying& player, Output& out) const;
    // Sends a message on every receive endpoint.
    void deliver(std::string_view message, Output& out) const;
    Endpoint* find(std::string_view name);

    std::vector<Endpoint> endpoints_;
    bool greeted_ = false;
    bool finished_ = false;
    bool notifyItem_ = false;
    bool notifyTime_ = false;
};

}  // namespace velmora::jukebox
