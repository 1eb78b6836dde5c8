// SPDX-License-Identifier: MIT
// Windows, the screen, the event loop and the box that reports a fatal failure, on Qt Widgets.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <QRect>
#include <QWindow>
#include <memory>

#include "platform/qt/twips.h"
#include "platform/services.h"

namespace velmora::qt {

class QtFormWindow;

class QtUi final : public platform::Ui {
  public:
    std::unique_ptr<platform::Window> createWindow(Form& form,
                                                   platform::WindowEvents& events) override;
    TwipSize screenSize() override;
    PixelRect desktopRect() override;
    float textWidth(const Font& font, const std::string& text) override;
    void post(std::function<void()> task) override;
    void quit() override;
    void reportFatal(const std::string& caption, const std::string& text) override;
    bool inHostWindow() override { return host_ != nullptr; }

    // The primary screen's geometry in pixels, or the host window's.
    QRect desktop() const;
    // A screen-saver host's window (size in logical pixels): the board is made inside it, and its
    // size stands for the screen's.
    // watch, kept as long as the host, tells hostResized of every change of the window's size.
    void setHostWindow(std::unique_ptr<QWindow> host, QSize size,
                       std::unique_ptr<QAbstractNativeEventFilter> watch = nullptr);
    // The host's window now has this size: the board made inside it hears of it.
    void hostResized(QSize size);
    TwipScale scale() const;

    // The program asked to end (perhaps before the event loop ran), and with which exit code.
    bool finished() const { return finished_; }
    int exitCode() const { return exitCode_; }

  private:
    void finish(int code);

    std::unique_ptr<QWindow> host_;  // outlives the windows made inside it
    std::unique_ptr<QAbstractNativeEventFilter> hostWatch_;
    QSize hostSize_;
    QPointer<QtFormWindow> hosted_;  // the window made inside the host's
    bool finished_ = false;
    int exitCode_ = 0;
};

}  // namespace velmora::qt
