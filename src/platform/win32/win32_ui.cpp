// SPDX-License-Identifier: MIT
#include "platform/win32/win32_ui.h"

#include <algorithm>

#include "platform/win32/form_window.h"
#include "platform/win32/text.h"

namespace velmora::win32 {

namespace {
constexpr wchar_t kMessageClass[] = L"Velmora2000Messages";
}

Win32Ui::Win32Ui(HINSTANCE instance) : instance_(instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32Ui::messageProc;
    wc.hInstance = instance_;
    wc.lpszClassName = kMessageClass;
    RegisterClassExW(&wc);
    FormWindow::registerClasses(instance_);

    messageWindow_ = CreateWindowExW(0, kMessageClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     instance_, this);

    HDC screen = GetDC(nullptr);
    dpi_.x = GetDeviceCaps(screen, LOGPIXELSX);
    dpi_.y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
}

Win32Ui::~Win32Ui() {
    DestroyWindow(messageWindow_);
}

LRESULT CALLBACK Win32Ui::messageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* ui = reinterpret_cast<Win32Ui*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (ui) {
        switch (msg) {
            case WM_TIMER: {
                // A tick already queued when its timer was stopped or destroyed finds nothing.
                auto timer = ui->timers_.find(wParam);
                if (timer != ui->timers_.end() && timer->second->enabled_) timer->second->tick_();
                return 0;
            }
            case kTaskMessage:
                ui->runOneTask();
                return 0;
            case kSocketMessage:
            case kLookupMessage:
                if (ui->socketHandler_) ui->socketHandler_(msg, wParam, lParam);
                return 0;
            default:
                break;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

std::unique_ptr<platform::Window> Win32Ui::createWindow(Form& form,
                                                        platform::WindowEvents& events) {
    return std::make_unique<FormWindow>(*this, form, events);
}

TwipSize Win32Ui::screenSize() {
    return TwipSize{dpi_.twipsX(GetSystemMetrics(SM_CXSCREEN)),
                    dpi_.twipsY(GetSystemMetrics(SM_CYSCREEN))};
}

PixelRect Win32Ui::desktopRect() {
    RECT r{};
    GetWindowRect(GetDesktopWindow(), &r);
    return PixelRect{r.left, r.top, r.right, r.bottom};
}

float Win32Ui::textWidth(const Font& font, const std::string& text) {
    const std::wstring wide = widen(text);
    HDC dc = GetDC(nullptr);
    HFONT measured = createFont(dpi_, font);
    HGDIOBJ before = SelectObject(dc, measured);
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, before);
    DeleteObject(measured);
    ReleaseDC(nullptr, dc);
    return dpi_.twipsX(size.cx);
}

void Win32Ui::post(std::function<void()> task) {
    const std::lock_guard lock(tasksMutex_);
    tasks_.push_back(std::move(task));
    PostMessageW(messageWindow_, kTaskMessage, 0, 0);
}

void Win32Ui::runOneTask() {
    std::function<void()> task;
    {
        const std::lock_guard lock(tasksMutex_);
        if (tasks_.empty()) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    task();
}

void Win32Ui::quit() {
    PostQuitMessage(exitCode_);
}

void Win32Ui::reportFatal(const std::string& caption, const std::string& text) {
    // The board may have hidden the pointer; the user needs it to close the report.
    while (ShowCursor(TRUE) < 0) {
    }
    MessageBoxW(nullptr, widen(text).c_str(), widen(caption).c_str(),
                MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
    ExitProcess(1);
}

std::unique_ptr<platform::Timer> Win32Ui::createTimer(int milliseconds, bool enabled,
                                                      std::function<void()> tick) {
    auto timer = std::make_unique<Win32Timer>(*this, milliseconds, std::move(tick));
    timer->setEnabled(enabled);
    return timer;
}

void Win32Ui::addDialog(HWND window) {
    dialogs_.push_back(window);
}

void Win32Ui::removeDialog(HWND window) {
    dialogs_.erase(std::remove(dialogs_.begin(), dialogs_.end(), window), dialogs_.end());
}

bool Win32Ui::dispatch(MSG& msg) {
    if (msg.message == WM_QUIT) {
        exitCode_ = static_cast<int>(msg.wParam);
        return false;
    }
    for (HWND dialog : dialogs_)
        if (IsDialogMessageW(dialog, &msg)) return true;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

int Win32Ui::run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        if (!dispatch(msg)) break;
    if (msg.message == WM_QUIT) exitCode_ = static_cast<int>(msg.wParam);
    return exitCode_;
}

bool Win32Ui::pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (!dispatch(msg)) return false;
    return true;
}

Win32Timer::Win32Timer(Win32Ui& ui, int milliseconds, std::function<void()> tick)
    : ui_(ui), id_(ui.nextTimerId_++), interval_(milliseconds), tick_(std::move(tick)) {
    ui_.timers_[id_] = this;
}

Win32Timer::~Win32Timer() {
    KillTimer(ui_.messageWindow_, id_);
    ui_.timers_.erase(id_);
}

void Win32Timer::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled_)
        SetTimer(ui_.messageWindow_, id_, static_cast<UINT>(interval_), nullptr);
    else
        KillTimer(ui_.messageWindow_, id_);
}

void Win32Timer::setInterval(int milliseconds) {
    interval_ = milliseconds;
    if (enabled_) SetTimer(ui_.messageWindow_, id_, static_cast<UINT>(interval_), nullptr);
}

}  // namespace velmora::win32
