// SPDX-License-Identifier: MIT
// The native window of a form: placement at the screen's dots per inch, the controls' kinds and
// styles, every change the core makes, colours, and the input it forwards.
#include <gtest/gtest.h>

#include "display/board_design.h"
#include "platform/win32/form_window.h"
#include "platform/win32/text.h"
#include "ui_harness.h"

namespace velmora::win32 {
namespace {

using testing::pumpUntil;
using testing::RecordedEvents;
using testing::sharedUi;

RECT childRect(HWND parent, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring textOf(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

LONG_PTR styleOf(HWND window) {
    return GetWindowLongPtrW(window, GWL_STYLE);
}

struct Board {
    Form form = display::makeBoard();
    RecordedEvents events;
    FormWindow window{sharedUi(), form, events};
    const Dpi& dpi = sharedUi().dpi();
};

TEST(FormWindow, BoardIsAHiddenPopupWithAOnePixelFrameAtItsDesignSize) {
    Board b;
    HWND hwnd = b.window.handle();
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(styleOf(hwnd) & (WS_POPUP | WS_BORDER | WS_CAPTION), WS_POPUP | WS_BORDER);
    RECT outline;
    RECT client;
    GetWindowRect(hwnd, &outline);
    GetClientRect(hwnd, &client);
    EXPECT_EQ(outline.right - outline.left, b.dpi.pixelsX(12240));
    EXPECT_EQ(outline.bottom - outline.top, b.dpi.pixelsY(9300));
    EXPECT_EQ(client.right, outline.right - outline.left - 2);
    EXPECT_EQ(client.bottom, outline.bottom - outline.top - 2);
}

TEST(FormWindow, ControlsSitAtTheirTwipsWithTheirKindsStyles) {
    Board b;
    HWND hwnd = b.window.handle();
    for (int i = 0; i < b.form.count(); ++i) {
        const Control& c = b.form[i];
        HWND child = b.window.child(i);
        ASSERT_NE(child, nullptr) << c.name;
        EXPECT_EQ(GetParent(child), hwnd);
        const RECT r = childRect(hwnd, child);
        EXPECT_EQ(r.left, b.dpi.pixelsX(c.left)) << c.name;
        EXPECT_EQ(r.top, b.dpi.pixelsY(c.top)) << c.name;
        EXPECT_EQ(r.right, b.dpi.pixelsX(c.left + c.width)) << c.name;
        EXPECT_EQ(r.bottom, b.dpi.pixelsY(c.top + c.height)) << c.name;
        EXPECT_EQ(narrow(textOf(child)), c.kind == ControlKind::Picture ? "" : c.text) << c.name;
        EXPECT_EQ((styleOf(child) & WS_VISIBLE) != 0, c.visible) << c.name;  // the board is hidden
    }
    EXPECT_EQ(styleOf(b.window.child(display::Label1)) & (SS_TYPEMASK | SS_NOPREFIX),
              SS_CENTER | SS_NOPREFIX);
    EXPECT_EQ(styleOf(b.window.child(display::Artist)) & (ES_CENTER | ES_READONLY),
              ES_CENTER | ES_READONLY);
    EXPECT_EQ(styleOf(b.window.child(display::CDImage)) & SS_TYPEMASK, SS_OWNERDRAW);
    EXPECT_FALSE(IsWindowEnabled(b.window.child(display::List1)));
}

TEST(FormWindow, FontsAreCreatedAtTheCoresPointSizes) {
    Board b;
    b.form.setFontSize(display::Title, 43.5f);
    struct Case {
        display::Id id;
        float points;
        int weight;
    } cases[] = {{display::Artist, 21.75f, 700},
                 {display::Title, 43.5f, 400},
                 {display::Label3, 8.25f, 400},
                 {display::Album, 15.75f, 400}};
    for (const auto& c : cases) {
        auto font = reinterpret_cast<HFONT>(SendMessageW(b.window.child(c.id), WM_GETFONT, 0, 0));
        LOGFONTW lf{};
        ASSERT_TRUE(GetObjectW(font, sizeof lf, &lf));
        EXPECT_EQ(lf.lfHeight, b.dpi.fontHeight(c.points)) << c.id;
        EXPECT_EQ(lf.lfWeight, c.weight) << c.id;
        EXPECT_STREQ(lf.lfFaceName, L"Arial");
        EXPECT_FALSE(lf.lfItalic || lf.lfUnderline || lf.lfStrikeOut);
    }
}

TEST(FormWindow, EveryChangeOfTheCoreReachesTheControl) {
    Board b;
    HWND hwnd = b.window.handle();
    b.form.setText(display::Title, "Caf\xC3\xA9 && Cr\xC3\xA8me");
    EXPECT_EQ(textOf(b.window.child(display::Title)), L"Caf\u00e9 && Cr\u00e8me");
    b.form.setText(display::Label2, "Rock & Roll");
    EXPECT_EQ(textOf(b.window.child(display::Label2)), L"Rock & Roll");

    b.form.setLeft(display::TotalTime, 3000);
    b.form.setHeight(display::TotalTime, 990);
    RECT r = childRect(hwnd, b.window.child(display::TotalTime));
    EXPECT_EQ(r.left, b.dpi.pixelsX(3000));
    EXPECT_EQ(r.bottom - r.top, b.dpi.pixelsY(4800 + 990) - b.dpi.pixelsY(4800));

    b.form.addItem(display::List1, "cdjr: one");
    b.form.addItem(display::List1, "cdjr: two");
    b.form.removeItem(display::List1, 0);
    HWND list = b.window.child(display::List1);
    ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 1);
    wchar_t item[32] = {};
    SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, L"cdjr: two");
    EXPECT_FALSE(IsWindowVisible(list));

    b.form.setVisible(display::Label4, false);
    EXPECT_FALSE(GetWindowLongPtrW(b.window.child(display::Label4), GWL_STYLE) & WS_VISIBLE);
}

TEST(FormWindow, ColoursComeFromTheControlColourMessages) {
    Board b;
    HWND hwnd = b.window.handle();
    b.form.setBackColour(display::Title, rgb(1, 2, 3));
    b.form.setForeColour(display::Title, rgb(200, 100, 50));
    b.form.setForeColour(display::Label1, kSystemButtonText);
    HDC dc = CreateCompatibleDC(nullptr);
    struct Case {
        display::Id id;
        UINT message;
        COLORREF text;
        COLORREF back;
    } cases[] = {
        {display::Title, WM_CTLCOLORSTATIC, RGB(200, 100, 50), RGB(1, 2, 3)},
        {display::Artist, WM_CTLCOLORSTATIC, RGB(192, 192, 0), RGB(0, 0, 0)},
        {display::ElapsedTime, WM_CTLCOLOREDIT, RGB(0, 192, 0), RGB(0, 0, 0)},
        {display::Label1, WM_CTLCOLORSTATIC, GetSysColor(COLOR_BTNTEXT), RGB(0, 0, 0)},
    };
    for (const auto& c : cases) {
        auto brush =
            reinterpret_cast<HBRUSH>(SendMessageW(hwnd, c.message, reinterpret_cast<WPARAM>(dc),
                                                  reinterpret_cast<LPARAM>(b.window.child(c.id))));
        LOGBRUSH lb{};
        ASSERT_TRUE(GetObjectW(brush, sizeof lb, &lb)) << c.id;
        EXPECT_EQ(lb.lbColor, c.back) << c.id;
        EXPECT_EQ(GetTextColor(dc), c.text) << c.id;
        EXPECT_EQ(GetBkColor(dc), c.back) << c.id;
    }
    DeleteDC(dc);
}

TEST(FormWindow, MouseAndCloseAreForwardedInTwips) {
    Board b;
    HWND hwnd = b.window.handle();
    const Dpi& dpi = b.dpi;
    SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10, 20));
    SendMessageW(hwnd, WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT, MAKELPARAM(0, 0));
    SendMessageW(hwnd, WM_MBUTTONDOWN, MK_MBUTTON | MK_CONTROL, MAKELPARAM(3, 4));
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    const std::vector<std::string> expected = {
        "move 1 0 " + std::to_string(static_cast<int>(dpi.twipsX(10))) + "," +
            std::to_string(static_cast<int>(dpi.twipsY(20))),
        "down 2 1 0,0",
        "down 4 2 " + std::to_string(static_cast<int>(dpi.twipsX(3))) + "," +
            std::to_string(static_cast<int>(dpi.twipsY(4))),
        "close"};
    EXPECT_EQ(b.events.log, expected);
    EXPECT_TRUE(IsWindow(hwnd)) << "the core, not the close box, destroys the window";
}

TEST(FormWindow, PlaceTopmostShowsTheWindowAtThePixelsGiven) {
    HWND hwnd = nullptr;
    {
        Board b;
        hwnd = b.window.handle();
        b.window.placeTopmost(0, 0, 640, 480);
        EXPECT_TRUE(IsWindowVisible(hwnd));
        EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
        RECT r;
        GetWindowRect(hwnd, &r);
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, 0);
        EXPECT_EQ(r.right, 640);
        EXPECT_EQ(r.bottom, 480);
    }
    EXPECT_FALSE(IsWindow(hwnd)) << "destroying the object destroys the window";
}

// A small dialog: two buttons, a framed edit box, tab order unlike the order of creation.
struct Dialog {
    Form form;
    int cancel, frame, name, ok;
    RecordedEvents events;
    std::unique_ptr<FormWindow> window;

    Dialog() {
        form.caption = "Options \xE2\x99\xAB";
        form.clientWidth = form.width = 4575;
        form.clientHeight = form.height = 2000;
        auto make = [](const char* n, ControlKind kind, const char* text, float left, float top,
                       int tab) {
            Control c;
            c.name = n;
            c.kind = kind;
            c.text = text;
            c.left = left;
            c.top = top;
            c.width = 1095;
            c.height = 375;
            c.tabIndex = tab;
            c.font.name.clear();
            c.foreColour = kSystemButtonText;
            c.backColour = kSystemButtonFace;
            return c;
        };
        cancel = form.add(make("Cancel", ControlKind::Button, "Cancel", 3360, 600, 2));
        frame = form.add(make("Frame", ControlKind::Frame, "Saver", 120, 900, -1));
        Control box = make("Name", ControlKind::EditBox, "", 120, 240, 1);
        box.container = frame;
        name = form.add(box);
        ok = form.add(make("OK", ControlKind::Button, "OK", 3360, 120, 0));
        form.setBackColour(kSystemButtonFace);
        window = std::make_unique<FormWindow>(sharedUi(), form, events);
    }
};

TEST(FormWindow, DialogHasACaptionItsClientSizeAndItsTabOrder) {
    Dialog d;
    HWND hwnd = d.window->handle();
    const Dpi& dpi = sharedUi().dpi();
    EXPECT_TRUE(styleOf(hwnd) & WS_CAPTION);
    EXPECT_EQ(textOf(hwnd), L"Options \u266B");
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, dpi.pixelsX(4575));
    EXPECT_EQ(client.bottom, dpi.pixelsY(2000));
    const RECT box = childRect(hwnd, d.window->child(d.name));
    EXPECT_EQ(box.left, dpi.pixelsX(120 + 120)) << "placed inside its frame";
    EXPECT_EQ(box.top, dpi.pixelsY(900 + 240));

    d.window->show();
    EXPECT_EQ(GetFocus(), d.window->child(d.ok));
    HWND order[3] = {d.window->child(d.ok), d.window->child(d.name), d.window->child(d.cancel)};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(GetNextDlgTabItem(hwnd, order[i], FALSE), order[(i + 1) % 3]) << i;
}

TEST(FormWindow, ClicksAndTypingAreForwardedButNotTheCoresOwnText) {
    Dialog d;
    SendMessageW(d.window->child(d.ok), BM_CLICK, 0, 0);
    d.form.setText(d.name, "set by the core");
    SendMessageW(d.window->child(d.name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"typed \u00e6"));
    EXPECT_EQ(d.events.log,
              (std::vector<std::string>{"click " + std::to_string(d.ok),
                                        "edit " + std::to_string(d.name) + " typed \xC3\xA6"}));
}

TEST(FormWindow, EnterAndEscapeAreBoundToNoButton) {
    Dialog d;
    d.window->show();
    HWND hwnd = d.window->handle();
    SetFocus(d.window->child(d.name));
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        MSG msg{d.window->child(d.name), WM_KEYDOWN, key, 0, 0, {}};
        IsDialogMessageW(hwnd, &msg);
    }
    testing::pumpFor(50);
    for (const auto& event : d.events.log) EXPECT_EQ(event.rfind("click", 0), std::string::npos);
    EXPECT_TRUE(IsWindow(hwnd));
}

TEST(Win32Ui, PostedTasksRunLaterInOrder) {
    std::vector<int> ran;
    sharedUi().post([&] { ran.push_back(1); });
    sharedUi().post([&] {
        ran.push_back(2);
        sharedUi().post([&] { ran.push_back(4); });
    });
    sharedUi().post([&] { ran.push_back(3); });
    EXPECT_TRUE(ran.empty());
    EXPECT_TRUE(pumpUntil([&] { return ran.size() == 4; }));
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 4}));
}

TEST(Win32Ui, TimersTickUntilDisabled) {
    int ticks = 0;
    auto timer = sharedUi().createTimer(15, true, [&] { ++ticks; });
    EXPECT_TRUE(pumpUntil([&] { return ticks >= 3; }));
    timer->setEnabled(false);
    const int stopped = ticks;
    testing::pumpFor(100);
    EXPECT_EQ(ticks, stopped);
    EXPECT_FALSE(timer->enabled());
    auto idle = sharedUi().createTimer(15, false, [&] { ticks += 100; });
    testing::pumpFor(100);
    EXPECT_EQ(ticks, stopped);
}

TEST(Win32Ui, ScreenSizeIsThePrimaryDisplayInTwips) {
    const TwipSize size = sharedUi().screenSize();
    EXPECT_FLOAT_EQ(size.width, sharedUi().dpi().twipsX(GetSystemMetrics(SM_CXSCREEN)));
    EXPECT_FLOAT_EQ(size.height, sharedUi().dpi().twipsY(GetSystemMetrics(SM_CYSCREEN)));
    const PixelRect desk = sharedUi().desktopRect();
    EXPECT_EQ(desk.right - desk.left, GetSystemMetrics(SM_CXSCREEN));
}

}  // namespace
}  // namespace velmora::win32
