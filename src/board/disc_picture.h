// SPDX-License-Identifier: MIT
// The disc's picture in CDImage: the track's own, else the default picture the user chose.
//
// A picture decodes while the board goes on drawing, counting and answering the mouse, so it
// arrives after the rest of the track. Only the current track's picture is ever shown: a new track
// cancels the decode still running for the one before. A picture that cannot be loaded gives way
// to the default picture, and that to an empty box. One the system refuses access to (still being
// written, say) is asked for again on a timer.
#pragma once

#include <memory>
#include <string>

#include "board/board_state.h"

namespace velmora::board {

class DiscPicture {
  public:
    static constexpr int kRetryDelay = 10000;  // ms before a refused picture is asked for again
    static constexpr int kMaxRetries = 3;

    explicit DiscPicture(BoardState& board) : board_(board) {}

    // A track starts: its own picture, or with none ("") the default picture when one is chosen.
    void show(const std::string& own);
    // The board is gone: nothing more is decoded or shown.
    void stop();

  private:
    enum class Role : bool { Own, Default };

    void request(std::string path, Role role);
    void start();
    void done(platform::PictureResult result);
    void showDefault(bool instead);
    void setPicture(PictureRef picture);

    BoardState& board_;
    std::unique_ptr<platform::PictureRequest> request_;
    std::unique_ptr<platform::Timer> retryTimer_;
    std::string path_;
    Role role_ = Role::Own;
    int retries_ = 0;
    bool decoding_ = false;
};

}  // namespace velmora::board
