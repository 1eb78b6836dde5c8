// SPDX-License-Identifier: MIT
#include "platform/qt/xscreensaver_host.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "platform/qt/qt_ui.h"

namespace velmora::qt {
namespace {

unsigned long parseWindowId(const QString& text) {
    bool ok = false;
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const unsigned long id = hex ? text.mid(2).toULong(&ok, 16) : text.toULong(&ok, 10);
    if (!ok || id == 0 || id > 0xFFFFFFFFul)
        throw std::invalid_argument("a window id is a number (decimal or 0x hexadecimal), not '" +
                                    text.toStdString() + "'");
    return id;
}

xcb_window_t rootWindow(xcb_connection_t* connection) {
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen)) screen = 0;
    std::free(host);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; it.rem > 1 && i < screen; ++i) xcb_screen_next(&it);
    return it.data->root;
}

// Follows the size of the host's window: the preview of the host's settings program is resized
// with the settings window. Events are chosen per client, so asking for the window's structure
// events takes nothing from the host.
class HostSizeWatch final : public QAbstractNativeEventFilter {
  public:
    HostSizeWatch(QtUi& ui, xcb_connection_t* connection, xcb_window_t id, qreal ratio)
        : ui_(ui), id_(id), ratio_(ratio) {
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, id),
                                            nullptr),
            &std::free);
        const uint32_t mask =
            (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection, id, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~HostSizeWatch() override {
        if (auto* app = QCoreApplication::instance()) app->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_CONFIGURE_NOTIFY) return false;
        const auto* configure = static_cast<const xcb_configure_notify_event_t*>(message);
        if (configure->window != id_) return false;
        ui_.hostResized(
            QSize(qRound(configure->width / ratio_), qRound(configure->height / ratio_)));
        return false;
    }

  private:
    QtUi& ui_;
    xcb_window_t id_;
    qreal ratio_;
};

}  // namespace

std::optional<HostWindowRequest> hostWindowRequest(const QStringList& arguments,
                                                   const QByteArray& environmentWindow) {
    bool root = false;
    std::optional<unsigned long> given;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("-root") || a == QLatin1String("--root")) {
            root = true;
        } else if (a == QLatin1String("-window-id") || a == QLatin1String("--window-id")) {
            if (i + 1 >= arguments.size())
                throw std::invalid_argument(a.toStdString() + " needs a window id");
            given = parseWindowId(arguments[++i]);
        }
    }
    if (given) return HostWindowRequest{false, *given};
    if (!environmentWindow.isEmpty())
        return HostWindowRequest{false,
                                 parseWindowId(QString::fromLatin1(environmentWindow).trimmed())};
    if (root) return HostWindowRequest{true, 0};
    return std::nullopt;
}

bool attachToScreenSaverHost(QtUi& ui, const QStringList& arguments) {
    const auto fail = [](const std::string& why) {
        std::fprintf(stderr, "velmora2000: %s\n", why.c_str());
        return false;
    };
    std::optional<HostWindowRequest> request;
    try {
        request = hostWindowRequest(arguments, qgetenv("XSCREENSAVER_WINDOW"));
    } catch (const std::invalid_argument& bad) {
        return fail(bad.what());
    }
    if (!request) return true;

    // Other platforms (offscreen among them) may answer for X11 without a connection of their own.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !connection)
        return fail("a screen saver's window needs an X11 display");
    const xcb_window_t id = request->root ? rootWindow(connection) : request->id;
    // The size comes from the server itself: the host may have made the window a moment ago.
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr), &std::free);
    if (!geometry) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(id));
        return fail(std::string("there is no window ") + hex + " on this display");
    }
    const qreal ratio = QGuiApplication::primaryScreen()
                            ? QGuiApplication::primaryScreen()->devicePixelRatio()
                            : 1.0;
    const QSize size(qRound(geometry->width / ratio), qRound(geometry->height / ratio));
    ui.setHostWindow(std::unique_ptr<QWindow>(QWindow::fromWinId(id)), size,
                     std::make_unique<HostSizeWatch>(ui, connection, id, ratio));
    return true;
}

}  // namespace velmora::qt
