// SPDX-License-Identifier: MIT
// The board's platform when its screen is the browsers: one Boost.Asio event loop on one thread.
// The board's window is the feed to the pages; there is no pointer, no screen saver to switch and
// no chooser. The screen is the design canvas itself, so the core draws the board at its design
// size and every page scales it to its own viewport; each page measures its own long names too.
#pragma once

#include <boost/asio/io_context.hpp>
#include <functional>
#include <memory>
#include <string>

#include "backend/asio_socket.h"
#include "backend/cover_shelf.h"
#include "platform/services.h"

namespace velmora::web {

class BoardFeed;

class WebPlatform final : public platform::Ui,
                          public platform::Timers,
                          public platform::System,
                          public platform::Choosers {
  public:
    WebPlatform(boost::asio::io_context& io, BoardFeed& feed, platform::SettingsStore& settings,
                CoverShelf& covers);
    ~WebPlatform() override;

    platform::Services services();

    // Ui
    std::unique_ptr<platform::Window> createWindow(Form& form,
                                                   platform::WindowEvents& events) override;
    TwipSize screenSize() override;
    PixelRect desktopRect() override;
    float textWidth(const Font& font, const std::string& text) override;
    void post(std::function<void()> task) override;
    void quit() override;
    void reportFatal(const std::string& caption, const std::string& text) override;

    // Timers
    std::unique_ptr<platform::Timer> createTimer(int milliseconds, bool enabled,
                                                 std::function<void()> tick) override;

    // System
    int showCursor(bool show) override;
    void setScreenSaverActive(bool) override {}
    std::string commandLine() override { return "/S"; }  // the board is always on show
    std::string findFirstFile(const std::string& path) override;
    std::unique_ptr<platform::Process> launch(const std::string& program,
                                              const std::vector<std::string>& args) override;

    // Choosers: the pages change nothing, so nothing is ever chosen here.
    std::optional<platform::FileChoice> chooseFile(const platform::FileRequest&) override;
    std::optional<Colour> chooseColour(Colour, platform::ColourOptions) override;

    // The board's window is closed as the desktop would close it (a signal): the core unloads it.
    void closeWindows();
    bool finished() const { return finished_; }
    int exitCode() const { return exitCode_; }
    AsioNetwork& network() { return network_; }

  private:
    class FeedWindow;

    boost::asio::io_context& io_;
    BoardFeed& feed_;
    platform::SettingsStore& settings_;
    CoverShelf& covers_;
    AsioNetwork network_;
    FeedWindow* window_ = nullptr;
    int cursor_ = 0;
    bool finished_ = false;
    int exitCode_ = 0;
};

}  // namespace velmora::web
