// SPDX-License-Identifier: MIT
// Helpers shared by the backend tests.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/qt/qt_ui.h"
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

// The Qt Ui on a desktop of the test's choosing (at 0,0), as the board and its dialog size
// themselves from it; everything else is the Qt Ui's own.
class DesktopUi final : public platform::Ui {
  public:
    DesktopUi(QtUi& ui, int width, int height) : ui_(ui), width_(width), height_(height) {}
    std::unique_ptr<platform::Window> createWindow(Form& form,
                                                   platform::WindowEvents& events) override {
        return ui_.createWindow(form, events);
    }
    TwipSize screenSize() override {
        const TwipScale s = ui_.scale();
        return TwipSize{s.toTwipsX(width_), s.toTwipsY(height_)};
    }
    PixelRect desktopRect() override { return PixelRect{0, 0, width_, height_}; }
    float textWidth(const Font& font, const std::string& text) override {
        return ui_.textWidth(font, text);
    }
    void post(std::function<void()> task) override { ui_.post(std::move(task)); }
    void quit() override { ui_.quit(); }
    void reportFatal(const std::string& caption, const std::string& text) override {
        ui_.reportFatal(caption, text);
    }
    bool inHostWindow() override { return ui_.inHostWindow(); }

  private:
    QtUi& ui_;
    int width_;
    int height_;
};

// `services` with `ui` (and `pictures`, when given) in place of theirs.
inline platform::Services withUi(const platform::Services& services, platform::Ui& ui,
                                 platform::Pictures* pictures = nullptr) {
    return platform::Services{ui,
                              services.timers,
                              services.system,
                              services.settings,
                              services.choosers,
                              pictures ? *pictures : services.pictures,
                              services.network};
}

// Asks for a picture and runs the event loop until it comes; throws the failure it brings.
inline PictureRef loadNow(platform::Pictures& pictures, const std::string& path, int ms = 10000) {
    std::optional<platform::PictureResult> result;
    auto request = pictures.load(path, [&](platform::PictureResult r) { result = std::move(r); });
    if (!waitUntil([&] { return result.has_value(); }, ms))
        throw std::runtime_error("no answer for " + path);
    if (result->failure) throw *result->failure;
    return result->picture;
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
