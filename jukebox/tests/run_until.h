// SPDX-License-Identifier: MIT
// Runs a test's io_context until something holds, while results come in from another thread.
#pragma once

#include <chrono>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

namespace velmora::jukebox::testing {

// The bound only keeps a broken build from hanging: tests check what happened, not when.
template <class Done>
void runUntil(asio::io_context& io, Done done) {
    using namespace std::chrono_literals;
    io.restart();
    const auto work = asio::make_work_guard(io);
    for (const auto until = std::chrono::steady_clock::now() + 20s;
         !done() && std::chrono::steady_clock::now() < until;)
        io.run_for(5ms);
}

}  // namespace velmora::jukebox::testing
