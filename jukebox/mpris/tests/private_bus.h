// SPDX-License-Identifier: MIT
// A session bus daemon of the test's own, so that nothing of the machine's session takes part:
// started with the test, named in DBUS_SESSION_BUS_ADDRESS for sd_bus_open_user, ended with it.
#pragma once

#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <string>

namespace velmora::testing {

class PrivateBus {
  public:
    PrivateBus() {
        // The daemon forks once it listens and prints its address and process id.
        FILE* out = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        if (!out) return;
        char line[512] = {};
        if (std::fgets(line, sizeof line, out)) address_ = line;
        if (std::fgets(line, sizeof line, out)) pid_ = std::atoi(line);
        pclose(out);
        while (!address_.empty() && (address_.back() == '\n' || address_.back() == '\r'))
            address_.pop_back();
        if (!address_.empty()) setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    }
    ~PrivateBus() {
        if (pid_ > 0) kill(pid_, SIGTERM);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // False where dbus-daemon is missing.
    bool up() const { return pid_ > 0 && !address_.empty(); }

  private:
    std::string address_;
    int pid_ = 0;
};

}  // namespace velmora::testing
