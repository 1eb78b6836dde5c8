// SPDX-License-Identifier: MIT
// A native window that shows one of the core's forms: one child window per visible kind of
// control, kept in step with every change the core makes, and the user's input forwarded as
// WindowEvents. A form whose controls take the keyboard gets the dialog manager's keyboard rules.
#pragma once

#include <vector>

#include "platform/form.h"
#include "platform/services.h"
#include "platform/win32/win32.h"

namespace velmora::win32 {

class Win32Ui;
struct Dpi;

// The font a control draws with, at the screen's dpi (the desktop's dialog font when the core's
// has no name). The caller deletes it.
HFONT createFont(const Dpi& dpi, const Font& font);

class FormWindow final : public platform::Window, private FormObserver {
  public:
    static constexpr int kFirstControlId = 1000;  // clear of IDOK and IDCANCEL

    static void registerClasses(HINSTANCE instance);

    FormWindow(Win32Ui& ui, Form& form, platform::WindowEvents& events);
    ~FormWindow() override;
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    void placeTopmost(int x, int y, int width, int height) override;
    void show() override;

    HWND handle() const { return hwnd_; }
    HWND child(int control) const { return natives_.at(static_cast<size_t>(control)).hwnd; }

  private:
    struct Native {
        HWND hwnd = nullptr;
        HFONT font = nullptr;
        HBRUSH brush = nullptr;       // the control's back colour
        bool marginsCleared = false;  // a fitted text uses the field's whole width
    };

    static LRESULT CALLBACK windowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT defaultProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT controlColours(HDC dc, HWND child);
    void command(int control, int code);
    void mouse(UINT msg, WPARAM wParam, LPARAM lParam);

    void changed(int control, Property what) override;
    void createChild(int control);
    void stackInTabOrder();
    void place(int control);
    void applyFont(int control);
    void applyMargins(int control);
    void applyBackColour(int control);
    void applyText(int control);
    void applyItems(int control);
    int controlOf(HWND child) const;

    Win32Ui& ui_;
    Form& form_;
    platform::WindowEvents& events_;
    HWND hwnd_ = nullptr;
    bool dialog_ = false;
    HBRUSH backBrush_ = nullptr;
    std::vector<Native> natives_;
    bool settingText_ = false;  // our own SetWindowText, not the user's typing
    bool destroying_ = false;   // no events into a half-destroyed object
};

// A Win32 COLORREF for one of the core's colours (an RGB value or a system colour).
COLORREF colourRef(Colour colour);

}  // namespace velmora::win32
