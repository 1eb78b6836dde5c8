// SPDX-License-Identifier: MIT
#include "platform/qt/qt_ui.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QMessageBox>
#include <QScreen>
#include <cstdio>

#include "platform/qt/qt_form_window.h"

namespace velmora::qt {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Whether boxes can be seen: the offscreen and minimal platforms have nobody to look at them.
bool hasDisplay() {
    const QString platform = QGuiApplication::platformName();
    return QGuiApplication::primaryScreen() && platform != QLatin1String("offscreen") &&
           platform != QLatin1String("minimal");
}

}  // namespace

std::unique_ptr<platform::Window> QtUi::createWindow(Form& form, platform::WindowEvents& events) {
    auto window = std::make_unique<QtFormWindow>(form, events, scale());
    if (host_) {
        window->setHost(host_.get());
        hosted_ = window.get();
    }
    return window;
}

void QtUi::setHostWindow(std::unique_ptr<QWindow> host, QSize size,
                         std::unique_ptr<QAbstractNativeEventFilter> watch) {
    host_ = std::move(host);
    hostWatch_ = std::move(watch);
    hostSize_ = size;
}

void QtUi::hostResized(QSize size) {
    if (!host_ || size == hostSize_) return;  // a move, or a restack
    hostSize_ = size;
    if (hosted_) hosted_->hostResized();
}

QRect QtUi::desktop() const {
    if (host_) return QRect(QPoint(0, 0), hostSize_);
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 640, 480);
}

TwipScale QtUi::scale() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return TwipScale{};
    return TwipScale::forDpi(screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY());
}

TwipSize QtUi::screenSize() {
    const QRect d = desktop();
    const TwipScale s = scale();
    return TwipSize{s.toTwipsX(d.width()), s.toTwipsY(d.height())};
}

PixelRect QtUi::desktopRect() {
    const QRect d = desktop();
    return PixelRect{d.x(), d.y(), d.x() + d.width(), d.y() + d.height()};
}

float QtUi::textWidth(const Font& font, const std::string& text) {
    // The font as the field draws it, measured on the screen it is drawn on.
    return scale().toTwipsX(QFontMetricsF(toQFont(font)).horizontalAdvance(fromUtf8(text)));
}

void QtUi::post(std::function<void()> task) {
    QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
}

void QtUi::quit() {
    finish(0);
}

void QtUi::reportFatal(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "velmora2000: %s\n", text.c_str());
    if (hasDisplay()) {
        QMessageBox box(QMessageBox::Critical, fromUtf8(caption), fromUtf8(text), QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
        box.exec();
    }
    finish(1);
}

void QtUi::finish(int code) {
    if (finished_ && exitCode_ != 0) return;  // the first failure names the exit code
    finished_ = true;
    exitCode_ = code;
    QCoreApplication::exit(code);
}

}  // namespace velmora::qt
