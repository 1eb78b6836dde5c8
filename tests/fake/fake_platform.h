// SPDX-License-Identifier: MIT
// An in-memory platform for the unit tests: it keeps real state, records every call in order in
// `log`, and lets a test deliver any event (mouse, tick, socket data) and answer any chooser.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "link/link_control.h"
#include "platform/services.h"

namespace velmora::fake {

class FakePlatform;

class FakeWindow final : public platform::Window {
  public:
    FakeWindow(FakePlatform& platform, Form& form, platform::WindowEvents& events);
    ~FakeWindow() override;
    void placeTopmost(int x, int y, int width, int height) override;
    void show() override;

    Form& form;
    platform::WindowEvents& events;
    bool shown = false;
    bool topmost = false;
    PixelRect placement;

  private:
    FakePlatform& platform_;
};

class FakeTimer final : public platform::Timer {
  public:
    FakeTimer(FakePlatform& platform, int ms, bool enabled, std::function<void()> tick);
    ~FakeTimer() override;
    void setEnabled(bool enabled) override;
    bool enabled() const override { return enabled_; }
    void setInterval(int ms) override;
    int interval() const { return interval_; }

    std::function<void()> tick;
    long long due = 0;  // fake milliseconds

  private:
    friend class FakePlatform;
    FakePlatform& platform_;
    int interval_;
    bool enabled_;
};

class FakeProcess final : public platform::Process {
  public:
    explicit FakeProcess(std::shared_ptr<bool> alive) : alive_(std::move(alive)) {}
    bool running() override { return *alive_; }

  private:
    std::shared_ptr<bool> alive_;
};

class FakePicture final : public Picture {
  public:
    explicit FakePicture(std::string path) : path(std::move(path)) {}
    int width() const override { return 1; }
    int height() const override { return 1; }
    std::string path;
};

class FakeSocket final : public platform::StreamSocket {
  public:
    FakeSocket(FakePlatform& platform, platform::SocketEvents& events);
    ~FakeSocket() override;
    void connectTo(const std::string& host, std::uint16_t port) override;
    void write(std::string_view bytes) override;
    std::size_t pendingBytes() const override { return pending; }
    void close() override;
    void finish(int timeoutMs) override;

    // Test side: what the program wrote, and events as the network would deliver them.
    std::string written;
    std::size_t pending = 0;
    bool connecting = false;
    bool open = false;
    std::string host;
    std::uint16_t port = 0;
    int connectAttempts = 0;
    void acceptConnection();  // the pending connect succeeds
    void refuse();            // the pending connect fails
    void deliver(std::string_view bytes);
    void drop();  // the peer goes away

    platform::SocketEvents& events;

  private:
    void raise(const std::function<void(platform::SocketEvents&)>& event);
    FakePlatform& platform_;
};

class FakePlatform final : public platform::Ui,
                           public platform::Timers,
                           public platform::System,
                           public platform::SettingsStore,
                           public platform::Choosers,
                           public platform::Pictures,
                           public platform::Network {
  public:
    FakePlatform();
    ~FakePlatform() override;

    platform::Services services();

    // Every call, in order, e.g. "ShowCursor(FALSE)" or "LinkSend(cdj,echo[cdjon])".
    std::vector<std::string> log;
    void record(std::string line) { log.push_back(std::move(line)); }
    // The log lines that start with prefix, in order.
    std::vector<std::string> calls(const std::string& prefix = "") const;

    // Ui
    std::unique_ptr<platform::Window> createWindow(Form& form,
                                                   platform::WindowEvents& events) override;
    TwipSize screenSize() override { return screen; }
    PixelRect desktopRect() override;
    // Every code point half an em wide, bold or not: size × 10 twips.
    float textWidth(const Font& font, const std::string& text) override;
    void post(std::function<void()> task) override;
    void quit() override;
    void reportFatal(const std::string& caption, const std::string& text) override;
    bool inHostWindow() override { return hostWindow; }

    bool hostWindow = false;  // screen and desktop are then a screen-saver host's window
    TwipSize screen{1280 * 15.0f, 1024 * 15.0f};
    PixelRect desktop{0, 0, 1280, 1024};
    std::vector<FakeWindow*> windows;  // alive now
    FakeWindow* window(const std::string& formName);
    // Releases that broke the lifetime rule: a timer inside its own tick, a socket inside its own
    // event. Those still here when the platform goes are handed to reportLifetimeFault.
    std::vector<std::string> lifetimeFaults;
    FakeTimer* ticking = nullptr;
    FakeSocket* raising = nullptr;
    std::deque<std::function<void()>> posted;
    void runPosted();  // runs posted tasks until none is left
    bool quitCalled = false;
    std::vector<std::string> fatals;

    // Timers: a fake clock in milliseconds.
    std::unique_ptr<platform::Timer> createTimer(int ms, bool enabled,
                                                 std::function<void()> tick) override;
    long long now = 0;
    void advance(long long ms);  // fires due timers in time order, then runs posted tasks
    std::vector<FakeTimer*> timers;

    // System
    int showCursor(bool show) override;
    void setScreenSaverActive(bool active) override;
    std::string commandLine() override { return commandLineText; }
    std::string findFirstFile(const std::string& path) override;
    std::unique_ptr<platform::Process> launch(const std::string& program,
                                              const std::vector<std::string>& args) override;

    int cursorCounter = 0;
    bool screenSaverActive = true;
    std::string commandLineText;
    std::map<std::string, std::string> files;  // path -> the name a lookup reports
    struct Launch {
        std::string program;
        std::vector<std::string> args;
        std::shared_ptr<bool> alive;
    };
    std::vector<Launch> launches;
    bool failLaunch = false;

    // SettingsStore
    std::string read(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& fallback) override;
    void write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& value) override;
    using Key = std::tuple<std::string, std::string, std::string>;
    std::map<Key, std::string> store;

    // Choosers: answers are taken in order; an empty queue answers with a cancel.
    std::optional<platform::FileChoice> chooseFile(const platform::FileRequest& request) override;
    std::optional<Colour> chooseColour(Colour initial, platform::ColourOptions options) override;
    std::deque<std::optional<platform::FileChoice>> fileAnswers;
    std::deque<std::optional<Colour>> colourAnswers;
    std::vector<platform::FileRequest> fileRequests;
    std::vector<std::pair<Colour, bool>> colourRequests;  // initial, startOnInitial

    // Pictures: a path loads when it is in `pictures`; failures may be set per path. The answer
    // comes with the posted tasks, or, while `holdPictures` is set, when finishPictures() delivers
    // it (a slow decode).
    std::unique_ptr<platform::PictureRequest> load(const std::string& path, Done done) override;
    std::set<std::string> pictures;
    std::map<std::string, std::deque<ErrorCode>> pictureFailures;  // consumed one per load
    bool holdPictures = false;
    std::vector<std::function<void()>> heldPictures;  // answers not yet delivered, oldest first
    void finishPictures();                            // delivers the held answers

    // Network
    std::unique_ptr<platform::StreamSocket> createSocket(platform::SocketEvents& events) override;
    std::vector<FakeSocket*> sockets;      // alive now
    std::vector<std::string> goneSockets;  // what each destroyed socket had been written
};

// What the program the fake runs in does with a lifetime fault left at the end: the tests fail the
// running test (lifetime_faults_gtest.cpp), the fuzzer stops (lifetime_faults_abort.cpp).
void reportLifetimeFault(const std::string& fault);

// A link control that records its operations in the platform's log and answers with `results`.
class FakeLink final : public link::LinkControl {
  public:
    explicit FakeLink(FakePlatform& platform) : platform_(platform) {}
    std::int32_t LinkOpen(std::string& endpoint, const std::string& options, std::int32_t a,
                          std::int32_t b, std::int32_t c) override;
    std::int32_t LinkSend(std::string& endpoint, const std::string& command) override;
    std::int32_t LinkClose(std::string& endpoint) override;

    void deliver(std::string endpoint, std::string message) {
        raiseLinkMessage(std::move(endpoint), std::move(message));
    }

    std::int32_t result = 0;             // what every operation returns
    std::deque<ErrorCode> sendFailures;  // consumed one per LinkSend: it throws

  private:
    FakePlatform& platform_;
};

class FakeLinkFactory final : public link::LinkFactory {
  public:
    explicit FakeLinkFactory(FakePlatform& platform) : platform_(platform) {}
    std::unique_ptr<link::LinkControl> createLink() override;
    std::vector<FakeLink*> links;  // in creation order; links[0] is Slinkx

  private:
    FakePlatform& platform_;
};

}  // namespace velmora::fake
