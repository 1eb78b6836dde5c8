// SPDX-License-Identifier: MIT
// `--web [ADDRESS:]PORT`: velmora-web, the board for browsers, started beside the service as a
// program of its own (the service never links the board's core) and ended with it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::jukebox {

struct Options;

// velmora-web's arguments for the service's options: where the pages connect, and this service.
// Throws UsageError when the service's port is not known in advance (0).
std::vector<std::string> webBoardArguments(const Options& options);

class WebBoard {
  public:
    // Starts velmora-web from this program's folder, else from PATH. Throws std::runtime_error
    // when it cannot be started.
    explicit WebBoard(const Options& options);
    ~WebBoard();
    WebBoard(const WebBoard&) = delete;
    WebBoard& operator=(const WebBoard&) = delete;

  private:
    int pid_ = -1;
};

}  // namespace velmora::jukebox
