// SPDX-License-Identifier: MIT
// Interprets the jukebox's messages and keeps the board current.
//
// Every message is logged in List1; those of "cdjr" are read by their prefix. Texts and picture
// paths are shown exactly as received, of any length. A step the system refuses access to (a
// send the link refuses, say) is tried again on a timer, never by sleeping, so the board
// keeps drawing and can be dismissed meanwhile. Any other failure ends that message quietly and
// keeps what its earlier steps changed.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "board/board_state.h"
#include "board/disc_picture.h"
#include "velmora/messages.h"

namespace velmora::board {

class MessageHandler {
  public:
    static constexpr int kRetryDelay = 10000;  // ms before a step refused access is tried again
    static constexpr int kMaxRetries = 3;      // per step
    // Messages kept while one waits to retry; past that the oldest go, as later ones supersede
    // them.
    static constexpr std::size_t kMaxWaiting = 256;

    explicit MessageHandler(BoardState& board) : board_(board) {}
    ~MessageHandler();

    // The link's message event. While an earlier message waits for its retry, this one waits too;
    // waiting messages are handled in order of arrival once it is done.
    void handle(std::string& endpoint, std::string& message);

    // A message waits to retry a step; the conversation pauses until it is done.
    bool holding() const { return held_.has_value(); }

    // The board is unloaded: a picture still decoding is dropped.
    void stop() { picture_.stop(); }

  private:
    enum class Kind : std::uint8_t {
        Unknown,
        TimeCode,
        Playing,
        PlaylistPointer,
        PlaylistItem,
        Echo
    };

    // What a "playing" message shows.
    struct Track {
        std::string album, artist, title, totalTime, picture;
    };

    // One message on its way through its steps; kept whole while a step waits for its retry.
    struct Job {
        Job(std::string e, std::string m) : endpoint(std::move(e)), message(std::move(m)) {}
        std::string endpoint;
        std::string message;
        Kind kind = Kind::Unknown;
        std::size_t step = 0;
        int retries = 0;  // of the current step
        Track track;
    };

    // A step returns false when the message is finished, and throws when it failed.
    using Step = bool (MessageHandler::*)(Job&);
    static std::span<const Step> stepsOf(Kind kind);

    void process(Job job);
    bool run(Job& job);  // false when the job is held for a retry
    void hold(Job job);
    void retry();

    bool log(Job& job);
    bool classify(Job& job);
    bool showElapsed(Job& job);
    bool cutTrack(Job& job);
    bool showTrack(Job& job);
    bool showPicture(Job& job);
    bool showTotalTime(Job& job);
    bool askPointer(Job& job);
    bool askNextEntry(Job& job);
    bool showNextEntry(Job& job);
    bool flagEcho(Job& job);

    BoardState& board_;
    bool running_ = false;
    std::optional<Job> held_;
    std::deque<std::pair<std::string, std::string>> waiting_;  // endpoint, message
    std::unique_ptr<platform::Timer> retryTimer_;
    DiscPicture picture_{board_};
};

// The link's rule for a flood: of several time codes in a row only the newest matters, since the
// board shows just the elapsed time.
inline bool newerTimeCode(std::string_view, std::string_view older, std::string_view newer) {
    return older.starts_with(link::messages::kTimeHead) &&
           newer.starts_with(link::messages::kTimeHead);
}

}  // namespace velmora::board
