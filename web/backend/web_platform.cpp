// SPDX-License-Identifier: MIT
#include "backend/web_platform.h"

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <iostream>

#include "board_feed.h"
#include "display/board_design.h"

namespace velmora::web {
namespace {

namespace asio = boost::asio;

// A periodic timer on the loop. Its state outlives the object while a wait is queued, so a timer
// released inside its own tick is safe.
class AsioTimer final : public platform::Timer {
  public:
    AsioTimer(asio::io_context& io, int milliseconds, bool enabled, std::function<void()> tick)
        : state_(std::make_shared<State>(io, milliseconds, std::move(tick))) {
        setEnabled(enabled);
    }
    ~AsioTimer() override { state_->stop(); }

    void setEnabled(bool enabled) override {
        if (enabled == state_->enabled) return;
        state_->enabled = enabled;
        if (enabled)
            State::arm(state_);
        else
            state_->stop();
    }
    bool enabled() const override { return state_->enabled; }
    // As on the other platforms, a new interval restarts the count.
    void setInterval(int milliseconds) override {
        state_->interval = milliseconds;
        if (state_->enabled) {
            state_->stop();
            state_->enabled = true;
            State::arm(state_);
        }
    }

  private:
    struct State {
        State(asio::io_context& io, int ms, std::function<void()> t)
            : timer(io), interval(ms), tick(std::move(t)) {}
        asio::steady_timer timer;
        int interval;
        std::function<void()> tick;
        bool enabled = false;
        int generation = 0;

        void stop() {
            enabled = false;
            ++generation;
            timer.cancel();
        }
        static void arm(const std::shared_ptr<State>& self) {
            const int mine = ++self->generation;
            self->timer.expires_after(std::chrono::milliseconds(std::max(self->interval, 1)));
            self->timer.async_wait([self, mine](const boost::system::error_code& error) {
                if (error || mine != self->generation || !self->enabled) return;
                arm(self);  // the next tick counts from this one, as a periodic timer does
                const std::function<void()> tick = self->tick;
                tick();
            });
        }
    };
    std::shared_ptr<State> state_;
};

}  // namespace

// The board's window: its form is the feed's to show; placing and showing it are the pages' own.
class WebPlatform::FeedWindow final : public platform::Window {
  public:
    FeedWindow(WebPlatform& platform, Form& form, platform::WindowEvents& events)
        : platform_(platform), form_(form), events_(events) {
        form_.setObserver(&platform_.feed_);
        platform_.feed_.attach(&form_);
        platform_.window_ = this;
    }
    ~FeedWindow() override {
        platform_.window_ = nullptr;
        platform_.feed_.attach(nullptr);
        form_.setObserver(nullptr);
    }
    void placeTopmost(int, int, int, int) override {}
    void show() override {}
    void close() { events_.closeRequested(); }

  private:
    WebPlatform& platform_;
    Form& form_;
    platform::WindowEvents& events_;
};

WebPlatform::WebPlatform(asio::io_context& io, BoardFeed& feed, platform::SettingsStore& settings,
                         CoverShelf& covers)
    : io_(io), feed_(feed), settings_(settings), covers_(covers), network_(io, [&feed](bool up) {
          feed.setLink(up);
      }) {}

WebPlatform::~WebPlatform() = default;

platform::Services WebPlatform::services() {
    return platform::Services{*this, *this, *this, settings_, *this, covers_, network_};
}

std::unique_ptr<platform::Window> WebPlatform::createWindow(Form& form,
                                                            platform::WindowEvents& events) {
    return std::make_unique<FeedWindow>(*this, form, events);
}

// The design canvas: scaled by one, the board reaches the pages as designed.
TwipSize WebPlatform::screenSize() {
    return TwipSize{display::kCanvasWidth, display::kCanvasHeight};
}

PixelRect WebPlatform::desktopRect() {
    return PixelRect{0, 0, static_cast<std::int32_t>(display::kCanvasWidth / 15),
                     static_cast<std::int32_t>(display::kCanvasHeight / 15)};
}

// Every text fits here: each page fits the long names to its own screen with its own fonts.
float WebPlatform::textWidth(const Font&, const std::string&) {
    return 0;
}

void WebPlatform::post(std::function<void()> task) {
    asio::post(io_, std::move(task));
}

void WebPlatform::quit() {
    finished_ = true;
    io_.stop();
}

void WebPlatform::reportFatal(const std::string& caption, const std::string& text) {
    std::cerr << "velmora-web: " << caption << ": " << text << std::endl;
    exitCode_ = 1;
    quit();
}

std::unique_ptr<platform::Timer> WebPlatform::createTimer(int milliseconds, bool enabled,
                                                          std::function<void()> tick) {
    return std::make_unique<AsioTimer>(io_, milliseconds, enabled, std::move(tick));
}

int WebPlatform::showCursor(bool show) {
    return show ? ++cursor_ : --cursor_;
}

// The fallback screen saver belongs to a screen of this machine, not to the pages: a web board
// never finds one, and shows the pages that the jukebox is away instead.
std::string WebPlatform::findFirstFile(const std::string&) {
    return {};
}

std::unique_ptr<platform::Process> WebPlatform::launch(const std::string& program,
                                                       const std::vector<std::string>&) {
    throw Failure(ErrorCode::FileNotFound, "File not found: " + program);
}

std::optional<platform::FileChoice> WebPlatform::chooseFile(const platform::FileRequest&) {
    return std::nullopt;
}

std::optional<Colour> WebPlatform::chooseColour(Colour, platform::ColourOptions) {
    return std::nullopt;
}

void WebPlatform::closeWindows() {
    if (window_) window_->close();
}

}  // namespace velmora::web
