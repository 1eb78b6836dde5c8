// SPDX-License-Identifier: MIT
#include "platform/qt/qt_form_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <algorithm>
#include <cstdio>

#include "platform/qt/qt_colours.h"
#include "platform/qt/qt_picture_box.h"
#include "platform/qt/qt_text_field.h"

namespace velmora::qt {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Buttons and frames read "&x" as a mnemonic; the core's text means a plain "&".
QString withoutMnemonics(const std::string& text) {
    return fromUtf8(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

// The mouse buttons and shift keys as the core numbers them: left 1, right 2, middle 4; shift 1,
// control 2, alt 4.
int buttonMask(Qt::MouseButtons buttons) {
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int shiftMask(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

// Whether the control wears the core's colours (else the desktop's theme draws it).
bool usesFormColours(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
        case ControlKind::TextField:
        case ControlKind::EditBox:
        case ControlKind::Picture:
        case ControlKind::List:
        case ControlKind::Swatch:
            return true;
        default:
            return false;
    }
}

}  // namespace

QFont toQFont(const Font& font) {
    QFont q(fromUtf8(font.name));
    q.setPointSizeF(std::max(1.0f, font.size));
    q.setWeight(static_cast<QFont::Weight>(std::clamp(font.weight, 1, 1000)));
    return q;
}

QtFormWindow::QtFormWindow(Form& form, platform::WindowEvents& events, TwipScale scale)
    : form_(form), events_(events), scale_(scale) {
    setMouseTracking(true);
    setAutoFillBackground(true);
    setWindowTitle(fromUtf8(form_.caption));
    resize(scale_.toPixelsX(form_.clientWidth), scale_.toPixelsY(form_.clientHeight));
    applyFormColour();

    widgets_.assign(static_cast<size_t>(form_.count()), nullptr);
    for (int i = 0; i < form_.count(); ++i) createWidget(i);
    applyTabOrder();
    form_.setObserver(this);
}

QtFormWindow::~QtFormWindow() {
    form_.setObserver(nullptr);
}

QWidget* QtFormWindow::widgetOf(int control) const {
    if (control < 0 || control >= static_cast<int>(widgets_.size())) return nullptr;
    return widgets_[static_cast<size_t>(control)];
}

void QtFormWindow::createWidget(int index) {
    const Control& c = form_[index];
    QWidget* parent = this;
    if (c.container >= 0 && c.container < index && widgetOf(c.container))
        parent = widgetOf(c.container);

    QWidget* w = nullptr;
    switch (c.kind) {
        case ControlKind::Label: {
            auto* label = new QLabel(parent);
            label->setTextFormat(Qt::PlainText);  // "<b>" in a caption is text, not markup
            label->setAlignment(
                (c.alignment == Alignment::Left ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignTop);
            label->setAutoFillBackground(true);
            w = label;
            break;
        }
        case ControlKind::TextField:
            w = new TextField(parent);
            break;
        case ControlKind::EditBox: {
            auto* edit = new QLineEdit(parent);
            // The core takes the typed text into its form; the widget already shows it.
            connect(edit, &QLineEdit::textEdited, this, [this, index](const QString& text) {
                events_.textEdited(index, text.toStdString());
            });
            w = edit;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(parent);
            button->setAutoDefault(false);
            button->setDefault(false);
            connect(button, &QPushButton::clicked, this, [this, index] { events_.clicked(index); });
            w = button;
            break;
        }
        case ControlKind::Frame:
            w = new QGroupBox(parent);
            // The caption sits on the frame's top line, its children placed from the outline.
            w->setStyleSheet(QStringLiteral(
                "QGroupBox { border: 1px solid palette(mid); margin-top: 0.5em; }"
                "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
            break;
        case ControlKind::Swatch:
            w = new QWidget(parent);
            w->setAutoFillBackground(true);
            break;
        case ControlKind::Picture:
            w = new PictureBox(parent);
            break;
        case ControlKind::List:
            w = new QListWidget(parent);
            break;
    }

    // Presses and moves over a control are the control's own: they never reach the window.
    w->setAttribute(Qt::WA_NoMousePropagation);
    w->setFocusPolicy(c.tabIndex >= 0 ? Qt::StrongFocus : Qt::NoFocus);
    widgets_[static_cast<size_t>(index)] = w;
    applyGeometry(index);
    applyFont(index);
    applyColours(index);
    applyText(index);
    applyItems(index);
    if (c.kind == ControlKind::Picture) static_cast<PictureBox*>(w)->setPicture(c.picture);
    w->setEnabled(c.enabled);
    w->setVisible(c.visible);
}

void QtFormWindow::changed(int control, Property what) {
    if (control < 0) {
        if (what == Property::BackColour) applyFormColour();
        return;
    }
    QWidget* w = widgetOf(control);
    if (!w) return;
    switch (what) {
        case Property::Geometry:
            applyGeometry(control);
            break;
        case Property::Font:
            applyFont(control);
            break;
        case Property::ForeColour:
        case Property::BackColour:
            applyColours(control);
            break;
        case Property::Text:
            applyText(control);
            break;
        case Property::Picture:
            if (auto* box = dynamic_cast<PictureBox*>(w)) box->setPicture(form_[control].picture);
            break;
        case Property::Items:
            applyItems(control);
            break;
        case Property::Visible:
            w->setVisible(form_[control].visible);
            break;
        case Property::Enabled:
            w->setEnabled(form_[control].enabled);
            break;
    }
}

void QtFormWindow::applyGeometry(int index) {
    const Control& c = form_[index];
    const PixelBox box = toPixels(scale_, c.left, c.top, c.width, c.height);
    widgetOf(index)->setGeometry(box.x, box.y, box.width, box.height);
}

void QtFormWindow::applyFont(int index) {
    const Control& c = form_[index];
    if (c.font.name.empty()) return;  // the desktop's own dialog font
    widgetOf(index)->setFont(toQFont(c.drawnFont()));
}

void QtFormWindow::applyColours(int index) {
    const Control& c = form_[index];
    if (!usesFormColours(c.kind)) return;
    QWidget* w = widgetOf(index);
    QPalette palette = w->palette();
    const QColor fore = toQColor(c.foreColour, palette);
    const QColor back = toQColor(c.backColour, palette);
    for (auto role : {QPalette::WindowText, QPalette::Text}) palette.setColor(role, fore);
    for (auto role : {QPalette::Window, QPalette::Base}) palette.setColor(role, back);
    w->setPalette(palette);
}

void QtFormWindow::applyFormColour() {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, toQColor(form_.backColour(), palette));
    setPalette(palette);
}

void QtFormWindow::applyText(int index) {
    const Control& c = form_[index];
    QWidget* w = widgetOf(index);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(fromUtf8(c.drawnText()));
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (edit->text() != fromUtf8(c.text)) edit->setText(fromUtf8(c.text));
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        button->setText(withoutMnemonics(c.text));
    } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
        frame->setTitle(withoutMnemonics(c.text));
    }
}

void QtFormWindow::applyItems(int index) {
    auto* list = qobject_cast<QListWidget*>(widgetOf(index));
    if (!list) return;
    list->clear();
    for (const std::string& item : form_[index].items) list->addItem(fromUtf8(item));
}

void QtFormWindow::applyTabOrder() {
    std::vector<int> stops;
    for (int i = 0; i < form_.count(); ++i)
        if (form_[i].tabIndex >= 0 && widgetOf(i)) stops.push_back(i);
    std::stable_sort(stops.begin(), stops.end(),
                     [this](int a, int b) { return form_[a].tabIndex < form_[b].tabIndex; });
    for (size_t i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(widgetOf(stops[i - 1]), widgetOf(stops[i]));
}

void QtFormWindow::focusFirstTabStop() {
    for (int i = 0; i < form_.count(); ++i)
        if (form_[i].tabIndex == 0 && widgetOf(i)) widgetOf(i)->setFocus(Qt::TabFocusReason);
}

void QtFormWindow::placeTopmost(int x, int y, int width, int height) {
    if (host_) {
        // Inside the host's window the host owns stacking, focus and input: just cover it.
        winId();
        windowHandle()->setParent(host_);
        setGeometry(x, y, width, height);
        QWidget::show();
        return;
    }
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setGeometry(x, y, width, height);
    if (onWayland())
        showFullScreenOnWayland();
    else
        show();
}

// A Wayland compositor places windows itself and knows no "topmost": only a full-screen request
// covers the screen. One board per session, so that an idle watcher firing again cannot stack
// boards: a second one closes at once, through the core as any close does.
void QtFormWindow::showFullScreenOnWayland() {
    sessionLock_ = SessionLock::take();
    if (!sessionLock_) {
        std::fprintf(stderr, "velmora2000: a board already shows in this session (%s)\n",
                     sessionLockPath().c_str());
        QMetaObject::invokeMethod(
            this, [this] { events_.closeRequested(); }, Qt::QueuedConnection);
        return;
    }
    showFullScreen();
    focusFirstTabStop();
    idleInhibit_ = WaylandIdleInhibit::create(windowHandle());
}

void QtFormWindow::show() {
    QWidget::show();
    raise();
    activateWindow();
    focusFirstTabStop();
}

void QtFormWindow::mousePressEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    events_.mouseDown(buttonMask(event->button()), shiftMask(event->modifiers()),
                      scale_.toTwipsX(at.x()), scale_.toTwipsY(at.y()));
}

void QtFormWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    events_.mouseMove(buttonMask(event->buttons()), shiftMask(event->modifiers()),
                      scale_.toTwipsX(at.x()), scale_.toTwipsY(at.y()));
}

void QtFormWindow::closeEvent(QCloseEvent* event) {
    // The core decides, and destroys the window itself when it agrees.
    event->ignore();
    events_.closeRequested();
}

}  // namespace velmora::qt
