// SPDX-License-Identifier: MIT
// Helpers shared by the backend tests.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <string>
#include <vector>

#include "platform/services.h"

namespace velmora::qt::test {

// Runs the event loop until done() holds or ms have passed; returns done().
inline bool waitUntil(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!done()) QThread::msleep(1);
    }
    return done();
}

// Runs the event loop for ms, whatever happens.
inline void spin(int ms) {
    waitUntil([] { return false; }, ms);
}

// Window events as a list of lines, e.g. "down 1 0 240 480".
struct RecordedEvents final : platform::WindowEvents {
    std::vector<std::string> lines;
    static std::string num(float v) { return std::to_string(static_cast<int>(v)); }
    void mouseDown(int button, int shift, float x, float y) override {
        lines.push_back("down " + std::to_string(button) + " " + std::to_string(shift) + " " +
                        num(x) + " " + num(y));
    }
    void mouseMove(int button, int shift, float x, float y) override {
        lines.push_back("move " + std::to_string(button) + " " + std::to_string(shift) + " " +
                        num(x) + " " + num(y));
    }
    void closeRequested() override { lines.push_back("close"); }
    void clicked(int control) override { lines.push_back("click " + std::to_string(control)); }
    void textEdited(int control, const std::string& text) override {
        lines.push_back("edit " + std::to_string(control) + " " + text);
    }
};

}  // namespace velmora::qt::test
