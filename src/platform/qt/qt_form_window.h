// SPDX-License-Identifier: MIT
// A native window showing a core Form: one widget per control, kept in step with every change the
// core makes. It renders and forwards; it decides nothing.
//
// Implements: labels and text fields (plain text, centred, no input), edit boxes, push buttons
// (never default: Enter does nothing), frames with their children, colour swatches, the stretched
// picture box, list boxes (shown only when visible), tab order, system colours, mouse and close
// forwarding. Timers and link hosts have no widget.
#pragma once

#include <QWidget>
#include <QWindow>
#include <memory>
#include <vector>

#include "platform/form.h"
#include "platform/qt/session_lock.h"
#include "platform/qt/twips.h"
#include "platform/qt/wayland_idle_inhibit.h"
#include "platform/services.h"

namespace velmora::qt {

// The core's font as Qt draws it. Glyphs the family lacks come from the system's fallback fonts.
QFont toQFont(const Font& font);

class QtFormWindow final : public QWidget, public platform::Window, private FormObserver {
  public:
    QtFormWindow(Form& form, platform::WindowEvents& events, TwipScale scale);
    ~QtFormWindow() override;

    void placeTopmost(int x, int y, int width, int height) override;
    void show() override;
    // Makes placeTopmost place the window inside host (a screen-saver host's window) instead.
    void setHost(QWindow* host) { host_ = host; }
    // The host's window changed size.
    void hostResized() { events_.hostResized(); }

    // The widget bound to a control, or nullptr for controls that draw nothing.
    QWidget* widgetOf(int control) const;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void changed(int control, Property what) override;
    void createWidget(int index);
    void applyGeometry(int index);
    void applyFont(int index);
    void applyColours(int index);
    void applyText(int index);
    void applyItems(int index);
    void applyFormColour();
    void applyTabOrder();
    void focusFirstTabStop();
    void showFullScreenOnWayland();

    Form& form_;
    platform::WindowEvents& events_;
    TwipScale scale_;
    std::vector<QWidget*> widgets_;  // by control index; owned by Qt's parent chain
    QWindow* host_ = nullptr;
    std::unique_ptr<SessionLock> sessionLock_;         // a board on Wayland: held while it shows
    std::unique_ptr<WaylandIdleInhibit> idleInhibit_;  // ends before the window and its surface
};

}  // namespace velmora::qt
