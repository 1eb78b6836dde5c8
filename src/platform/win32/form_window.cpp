// SPDX-License-Identifier: MIT
#include "platform/win32/form_window.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

#include <commctrl.h>
#include <windowsx.h>

#include "platform/win32/ole_pictures.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_ui.h"

namespace velmora::win32 {

namespace {

constexpr wchar_t kFormClass[] = L"Velmora2000Form";      // the program's icon in its frame
constexpr wchar_t kDialogClass[] = L"Velmora2000Dialog";  // a captioned form: no icon of its own

// A form is a dialog (keyboard navigation, no default button) when a control takes the focus.
bool takesKeyboard(const Form& form) {
    for (int i = 0; i < form.count(); ++i)
        if (form[i].tabIndex >= 0) return true;
    return false;
}

// The core's mouse state: buttons 1 left, 2 right, 4 middle; shift 1, ctrl 2, alt 4.
int buttonsOf(WPARAM keys) {
    return ((keys & MK_LBUTTON) ? 1 : 0) | ((keys & MK_RBUTTON) ? 2 : 0) |
           ((keys & MK_MBUTTON) ? 4 : 0);
}

int shiftOf(WPARAM keys) {
    return ((keys & MK_SHIFT) ? 1 : 0) | ((keys & MK_CONTROL) ? 2 : 0) |
           ((GetKeyState(VK_MENU) < 0) ? 4 : 0);
}

}  // namespace

COLORREF colourRef(Colour colour) {
    if (isSystemColour(colour)) return GetSysColor(systemColourIndex(colour));
    return static_cast<COLORREF>(colour) & 0x00FFFFFF;
}

void FormWindow::registerClasses(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &FormWindow::windowProc;
    wc.cbWndExtra = DLGWINDOWEXTRA;  // room for the dialog manager's state
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(Win32Ui::kAppIcon));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(Win32Ui::kAppIcon),
                                               IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kFormClass;
    RegisterClassExW(&wc);
    wc.hIcon = nullptr;
    wc.hIconSm = nullptr;
    wc.lpszClassName = kDialogClass;
    RegisterClassExW(&wc);
}

FormWindow::FormWindow(Win32Ui& ui, Form& form, platform::WindowEvents& events)
    : ui_(ui), form_(form), events_(events), dialog_(takesKeyboard(form)) {
    const Dpi& dpi = ui_.dpi();
    // No clipping of children: a frame paints only its outline and leaves its inside to the form.
    DWORD style = WS_POPUP;
    DWORD exStyle = 0;
    RECT outline{0, 0, dpi.pixelsX(form_.width), dpi.pixelsY(form_.height)};
    int x = 0;
    int y = 0;
    if (form_.caption.empty()) {
        style |= WS_BORDER;  // no title bar, a frame one pixel wide
    } else {
        style |= WS_CAPTION | WS_SYSMENU;
        exStyle |= WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
        outline = RECT{0, 0, dpi.pixelsX(form_.clientWidth), dpi.pixelsY(form_.clientHeight)};
        AdjustWindowRectEx(&outline, style, FALSE, exStyle);
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        x = work.left + ((work.right - work.left) - (outline.right - outline.left)) / 2;
        y = work.top + ((work.bottom - work.top) - (outline.bottom - outline.top)) / 2;
    }
    backBrush_ = CreateSolidBrush(colourRef(form_.backColour()));
    natives_.resize(static_cast<size_t>(form_.count()));

    hwnd_ = CreateWindowExW(exStyle, form_.caption.empty() ? kFormClass : kDialogClass,
                            widen(form_.caption).c_str(), style, x, y, outline.right - outline.left,
                            outline.bottom - outline.top, nullptr, nullptr, ui_.instance(), this);
    for (int i = 0; i < form_.count(); ++i) createChild(i);
    stackInTabOrder();
    form_.setObserver(this);
    if (dialog_) ui_.addDialog(hwnd_);
}

FormWindow::~FormWindow() {
    form_.setObserver(nullptr);
    if (dialog_) ui_.removeDialog(hwnd_);
    destroying_ = true;
    DestroyWindow(hwnd_);
    for (Native& n : natives_) {
        if (n.font) DeleteObject(n.font);
        if (n.brush) DeleteObject(n.brush);
    }
    DeleteObject(backBrush_);
}

void FormWindow::createChild(int index) {
    const Control& c = form_[index];
    const wchar_t* cls = nullptr;
    DWORD style = WS_CHILD;
    DWORD exStyle = 0;
    switch (c.kind) {
        case ControlKind::Label:
            cls = WC_STATICW;
            style |= (c.alignment == Alignment::Left ? SS_LEFT : SS_CENTER) | SS_NOPREFIX;
            break;
        case ControlKind::TextField:  // written by the program only
            cls = WC_EDITW;
            style |= ES_CENTER | ES_READONLY | ES_AUTOHSCROLL;
            break;
        case ControlKind::EditBox:
            cls = WC_EDITW;
            style |= ES_LEFT | ES_AUTOHSCROLL;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Picture:  // drawn by the form on WM_DRAWITEM; the mouse goes through
            cls = WC_STATICW;
            style |= SS_OWNERDRAW;
            break;
        case ControlKind::List:
            cls = WC_LISTBOXW;
            style |= LBS_NOINTEGRALHEIGHT | LBS_NOSEL | WS_VSCROLL;
            break;
        case ControlKind::Button:
            cls = WC_BUTTONW;
            style |= BS_PUSHBUTTON | BS_NOTIFY;
            break;
        case ControlKind::Frame:
            cls = WC_BUTTONW;
            style |= BS_GROUPBOX;
            break;
        case ControlKind::Swatch:
            cls = WC_STATICW;
            style |= SS_NOPREFIX | WS_BORDER;
            break;
    }
    if (c.visible) style |= WS_VISIBLE;
    if (!c.enabled) style |= WS_DISABLED;
    if (c.tabIndex >= 0) style |= WS_TABSTOP;

    Native& n = natives_[static_cast<size_t>(index)];
    n.hwnd = CreateWindowExW(exStyle, cls, L"", style, 0, 0, 0, 0, hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + index)),
                             ui_.instance(), nullptr);
    place(index);
    applyFont(index);
    applyBackColour(index);
    applyText(index);
    applyItems(index);
}

// The dialog manager moves the focus in z-order: tab stops first, by their place in the order.
void FormWindow::stackInTabOrder() {
    std::vector<int> order(natives_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        auto rank = [this](int i) { return form_[i].tabIndex < 0 ? INT32_MAX : form_[i].tabIndex; };
        return rank(a) < rank(b);
    });
    HWND after = HWND_TOP;
    for (int i : order) {
        HWND child = natives_[static_cast<size_t>(i)].hwnd;
        if (!child) continue;
        SetWindowPos(child, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = child;
    }
}

void FormWindow::place(int index) {
    HWND child = natives_[static_cast<size_t>(index)].hwnd;
    if (!child) return;
    const Control& c = form_[index];
    float left = c.left;
    float top = c.top;
    if (c.container >= 0) {
        left += form_[c.container].left;
        top += form_[c.container].top;
    }
    const Dpi& dpi = ui_.dpi();
    const int x = dpi.pixelsX(left);
    const int y = dpi.pixelsY(top);
    MoveWindow(child, x, y, dpi.pixelsX(left + c.width) - x, dpi.pixelsY(top + c.height) - y, TRUE);
}

HFONT createFont(const Dpi& dpi, const Font& f) {
    if (f.name.empty()) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        return CreateFontIndirectW(&metrics.lfMessageFont);
    }
    return CreateFontW(dpi.fontHeight(f.size), 0, 0, 0, f.weight, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, widen(f.name).c_str());
}

void FormWindow::applyFont(int index) {
    Native& n = natives_[static_cast<size_t>(index)];
    if (!n.hwnd) return;
    HFONT font = createFont(ui_.dpi(), form_[index].drawnFont());
    SendMessageW(n.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (n.font) DeleteObject(n.font);
    n.font = font;
    applyMargins(index);
}

// A text fitted to its field was measured against the field's whole width: the edit control's
// margins would hide its last letters. Other texts keep the margins they always had.
void FormWindow::applyMargins(int index) {
    Native& n = natives_[static_cast<size_t>(index)];
    const bool fitted = form_[index].fitted.has_value();
    if (!fitted && !n.marginsCleared) return;
    const LPARAM margins = fitted ? MAKELONG(0, 0) : MAKELONG(EC_USEFONTINFO, EC_USEFONTINFO);
    SendMessageW(n.hwnd, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, margins);
    n.marginsCleared = fitted;
}

void FormWindow::applyBackColour(int index) {
    Native& n = natives_[static_cast<size_t>(index)];
    if (!n.hwnd) return;
    if (n.brush) DeleteObject(n.brush);
    n.brush = CreateSolidBrush(colourRef(form_[index].backColour));
    InvalidateRect(n.hwnd, nullptr, TRUE);
}

void FormWindow::applyText(int index) {
    HWND child = natives_[static_cast<size_t>(index)].hwnd;
    if (!child || form_[index].kind == ControlKind::Picture) return;
    settingText_ = true;
    applyMargins(index);
    SetWindowTextW(child, widen(form_[index].drawnText()).c_str());
    settingText_ = false;
}

void FormWindow::applyItems(int index) {
    HWND child = natives_[static_cast<size_t>(index)].hwnd;
    if (!child || form_[index].kind != ControlKind::List) return;
    SendMessageW(child, WM_SETREDRAW, FALSE, 0);
    SendMessageW(child, LB_RESETCONTENT, 0, 0);
    for (const auto& item : form_[index].items)
        SendMessageW(child, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
    SendMessageW(child, WM_SETREDRAW, TRUE, 0);
}

void FormWindow::changed(int index, Property what) {
    if (index < 0) {
        if (what == Property::BackColour) {
            DeleteObject(backBrush_);
            backBrush_ = CreateSolidBrush(colourRef(form_.backColour()));
            InvalidateRect(hwnd_, nullptr, TRUE);
        }
        return;
    }
    HWND child = natives_.at(static_cast<size_t>(index)).hwnd;
    if (!child) return;
    switch (what) {
        case Property::Geometry:
            place(index);
            for (int i = 0; i < form_.count(); ++i)
                if (form_[i].container == index) place(i);
            break;
        case Property::Font:
            applyFont(index);
            break;
        case Property::ForeColour:
            InvalidateRect(child, nullptr, TRUE);
            break;
        case Property::BackColour:
            applyBackColour(index);
            break;
        case Property::Text:
            applyText(index);
            break;
        case Property::Picture:
            InvalidateRect(child, nullptr, TRUE);
            break;
        case Property::Items:
            applyItems(index);
            break;
        case Property::Visible:
            ShowWindow(child, form_[index].visible ? SW_SHOWNA : SW_HIDE);
            break;
        case Property::Enabled:
            EnableWindow(child, form_[index].enabled ? TRUE : FALSE);
            break;
    }
}

void FormWindow::placeTopmost(int x, int y, int width, int height) {
    SetWindowPos(hwnd_, HWND_TOPMOST, x, y, width, height, SWP_SHOWWINDOW);
}

void FormWindow::show() {
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    HWND first = dialog_ ? GetNextDlgTabItem(hwnd_, nullptr, FALSE) : nullptr;
    if (first) SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
}

int FormWindow::controlOf(HWND child) const {
    const int index = GetDlgCtrlID(child) - kFirstControlId;
    if (index < 0 || index >= static_cast<int>(natives_.size())) return -1;
    return natives_[static_cast<size_t>(index)].hwnd == child ? index : -1;
}

LRESULT CALLBACK FormWindow::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<FormWindow*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->handle(msg, wParam, lParam);
}

LRESULT FormWindow::defaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return dialog_ ? DefDlgProcW(hwnd_, msg, wParam, lParam)
                   : DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT FormWindow::handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (destroying_) return defaultProc(msg, wParam, lParam);
    switch (msg) {
        case WM_ERASEBKGND: {
            RECT r;
            GetClientRect(hwnd_, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, backBrush_);
            return 1;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX: {
            LRESULT brush =
                controlColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
            if (brush) return brush;
            break;
        }
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            const int index = controlOf(item->hwndItem);
            if (index < 0) break;
            FillRect(item->hDC, &item->rcItem, natives_[static_cast<size_t>(index)].brush);
            if (auto* picture = dynamic_cast<const OlePicture*>(form_[index].picture.get()))
                picture->render(item->hDC, item->rcItem);
            return TRUE;
        }
        case WM_COMMAND: {
            const int index = controlOf(reinterpret_cast<HWND>(lParam));
            if (index >= 0) command(index, HIWORD(wParam));
            return 0;  // IDOK and IDCANCEL from Enter and Escape: no button is bound to them
        }
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_XBUTTONDOWN:
            mouse(msg, wParam, lParam);
            return msg == WM_XBUTTONDOWN ? TRUE : 0;
        case WM_CLOSE:
            events_.closeRequested();  // the core decides; it destroys the window when it unloads
            return 0;
        default:
            break;
    }
    return defaultProc(msg, wParam, lParam);
}

LRESULT FormWindow::controlColours(HDC dc, HWND child) {
    const int index = controlOf(child);
    if (index < 0) return 0;
    const Control& c = form_[index];
    SetTextColor(dc, colourRef(c.foreColour));
    SetBkColor(dc, colourRef(c.backColour));
    SetBkMode(dc, OPAQUE);
    return reinterpret_cast<LRESULT>(natives_[static_cast<size_t>(index)].brush);
}

void FormWindow::command(int index, int code) {
    const Control& c = form_[index];
    if (c.kind == ControlKind::Button && code == BN_CLICKED) {
        events_.clicked(index);
    } else if (c.kind == ControlKind::EditBox && code == EN_CHANGE && !settingText_) {
        HWND child = natives_[static_cast<size_t>(index)].hwnd;
        std::wstring text(static_cast<size_t>(GetWindowTextLengthW(child)) + 1, L'\0');
        text.resize(
            static_cast<size_t>(GetWindowTextW(child, text.data(), static_cast<int>(text.size()))));
        events_.textEdited(index, narrow(text));
    }
}

void FormWindow::mouse(UINT msg, WPARAM wParam, LPARAM lParam) {
    const Dpi& dpi = ui_.dpi();
    const float x = dpi.twipsX(GET_X_LPARAM(lParam));
    const float y = dpi.twipsY(GET_Y_LPARAM(lParam));
    const int keys = static_cast<int>(GET_KEYSTATE_WPARAM(wParam));
    if (msg == WM_MOUSEMOVE) {
        events_.mouseMove(buttonsOf(keys), shiftOf(keys), x, y);
        return;
    }
    int button = 1;
    if (msg == WM_RBUTTONDOWN) button = 2;
    if (msg == WM_MBUTTONDOWN) button = 4;
    if (msg == WM_XBUTTONDOWN) button = GET_XBUTTON_WPARAM(wParam) == XBUTTON1 ? 8 : 16;
    events_.mouseDown(button, shiftOf(keys), x, y);
}

}  // namespace velmora::win32
