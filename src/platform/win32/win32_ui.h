// SPDX-License-Identifier: MIT
// The Win32 Ui and Timers: the message loop, a hidden message-only window that carries posted
// tasks, timer ticks and socket events, and the native windows that show the core's forms.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/services.h"
#include "platform/win32/units.h"
#include "platform/win32/win32.h"

namespace velmora::win32 {

class Win32Timer;

class Win32Ui final : public platform::Ui, public platform::Timers {
  public:
    static constexpr UINT kTaskMessage = WM_APP + 1;
    static constexpr UINT kSocketMessage = WM_APP + 2;  // WSAAsyncSelect
    static constexpr UINT kLookupMessage = WM_APP + 3;  // WSAAsyncGetHostByName
    static constexpr int kAppIcon = 1;                  // resource id of the program's icon

    explicit Win32Ui(HINSTANCE instance);
    ~Win32Ui() override;
    Win32Ui(const Win32Ui&) = delete;
    Win32Ui& operator=(const Win32Ui&) = delete;

    // Ui
    std::unique_ptr<platform::Window> createWindow(Form& form,
                                                   platform::WindowEvents& events) override;
    TwipSize screenSize() override;
    PixelRect desktopRect() override;
    float textWidth(const Font& font, const std::string& text) override;
    void post(std::function<void()> task) override;  // from any thread
    void quit() override;
    void reportFatal(const std::string& caption, const std::string& text) override;

    // Timers
    std::unique_ptr<platform::Timer> createTimer(int milliseconds, bool enabled,
                                                 std::function<void()> tick) override;

    // Runs the message loop until quit(); returns the process's exit code.
    int run();
    // Handles what is waiting in the queue without blocking; false once quit() was seen.
    bool pump();

    HINSTANCE instance() const { return instance_; }
    HWND messageWindow() const { return messageWindow_; }
    const Dpi& dpi() const { return dpi_; }
    // kSocketMessage and kLookupMessage on the message window go to handler.
    void onSocketMessage(std::function<void(UINT, WPARAM, LPARAM)> handler) {
        socketHandler_ = std::move(handler);
    }

    // Windows whose keyboard navigation the loop hands to IsDialogMessage.
    void addDialog(HWND window);
    void removeDialog(HWND window);

  private:
    friend class Win32Timer;
    static LRESULT CALLBACK messageProc(HWND, UINT, WPARAM, LPARAM);
    bool dispatch(MSG& msg);
    void runOneTask();

    HINSTANCE instance_;
    HWND messageWindow_ = nullptr;
    Dpi dpi_;
    std::mutex tasksMutex_;  // workers post too
    std::deque<std::function<void()>> tasks_;
    std::map<UINT_PTR, Win32Timer*> timers_;
    UINT_PTR nextTimerId_ = 1;
    std::function<void(UINT, WPARAM, LPARAM)> socketHandler_;
    std::vector<HWND> dialogs_;
    int exitCode_ = 0;
};

class Win32Timer final : public platform::Timer {
  public:
    Win32Timer(Win32Ui& ui, int milliseconds, std::function<void()> tick);
    ~Win32Timer() override;
    void setEnabled(bool enabled) override;
    bool enabled() const override { return enabled_; }
    void setInterval(int milliseconds) override;

  private:
    friend class Win32Ui;
    Win32Ui& ui_;
    UINT_PTR id_;
    int interval_;
    bool enabled_ = false;
    std::function<void()> tick_;
};

}  // namespace velmora::win32
