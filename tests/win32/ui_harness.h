// SPDX-License-Identifier: MIT
// What the backend tests share: one Win32Ui for the process, a message pump with a deadline and a
// WindowEvents that records what a window forwarded.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/win32_ui.h"

namespace velmora::win32::testing {

inline Win32Ui& sharedUi() {
    static Win32Ui ui(GetModuleHandleW(nullptr));
    return ui;
}

// Handles messages until done() holds or timeoutMs passed; returns done().
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        sharedUi().pump();
        Sleep(1);
    }
    return done();
}

inline void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

struct RecordedEvents final : platform::WindowEvents {
    std::vector<std::string> log;
    void mouseDown(int button, int shift, float x, float y) override {
        log.push_back("down " + std::to_string(button) + " " + std::to_string(shift) + " " +
                      std::to_string(static_cast<int>(x)) + "," +
                      std::to_string(static_cast<int>(y)));
    }
    void mouseMove(int button, int shift, float x, float y) override {
        log.push_back("move " + std::to_string(button) + " " + std::to_string(shift) + " " +
                      std::to_string(static_cast<int>(x)) + "," +
                      std::to_string(static_cast<int>(y)));
    }
    void closeRequested() override { log.push_back("close"); }
    void clicked(int control) override { log.push_back("click " + std::to_string(control)); }
    void textEdited(int control, const std::string& text) override {
        log.push_back("edit " + std::to_string(control) + " " + text);
    }
};

}  // namespace velmora::win32::testing
