// SPDX-License-Identifier: MIT
// The generic form window: placement in pixels, texts, colours, fonts, frames, focus, and which
// input reaches the core.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

#include "display/board_design.h"
#include "platform/qt/qt_colours.h"
#include "platform/qt/qt_form_window.h"
#include "platform/qt/qt_pictures.h"
#include "qt_test_util.h"

namespace velmora::qt {
namespace {

using test::RecordedEvents;

const TwipScale k96Dpi = TwipScale::forDpi(96, 96);

TEST(Twips, ConvertAtTheScreensDpi) {
    struct Case {
        double dpi, twips;
        int pixels;
    };
    const Case cases[] = {
        {96, 15, 1},     {96, 240, 16},     {96, 11655, 777},  {96, 7, 0},
        {96, 8, 1},      {120, 1440, 120},  {120, 240, 20},    {144, 12240, 1224},
        {72, 9300, 465}, {96, 19200, 1280}, {96, 15360, 1024},
    };
    for (const Case& c : cases) {
        const TwipScale s = TwipScale::forDpi(c.dpi, c.dpi);
        EXPECT_EQ(s.toPixelsX(c.twips), c.pixels) << c.twips << " twips at " << c.dpi << " dpi";
        EXPECT_EQ(s.toPixelsY(c.twips), c.pixels) << c.twips << " twips at " << c.dpi << " dpi";
    }
    EXPECT_FLOAT_EQ(k96Dpi.toTwipsX(640), 9600);
    EXPECT_FLOAT_EQ(TwipScale::forDpi(120, 96).toTwipsX(10), 120);
}

// Controls that touch in twips touch on screen: no gap and no overlap, whatever the rounding.
TEST(Twips, NeighboursShareTheirEdge) {
    for (double dpi : {96.0, 115.2, 120.0, 144.0}) {
        const TwipScale s = TwipScale::forDpi(dpi, dpi);
        for (double left = 0; left < 200; left += 7) {
            const double width = 11 + left / 3;
            const PixelBox a = toPixels(s, left, left, width, width);
            const PixelBox b = toPixels(s, left + width, left + width, 30, 30);
            EXPECT_EQ(a.x + a.width, b.x) << "dpi " << dpi << " left " << left;
            EXPECT_EQ(a.y + a.height, b.y) << "dpi " << dpi << " top " << left;
        }
    }
}

TEST(Colours, LowByteIsRed) {
    const QPalette palette = QApplication::palette();
    EXPECT_EQ(toQColor(0x0000C0C0, palette), QColor(192, 192, 0));
    EXPECT_EQ(toQColor(0x00C00000, palette), QColor(0, 0, 192));
    EXPECT_EQ(toQColor(0x000000FF, palette), QColor(255, 0, 0));
    EXPECT_EQ(toQColor(kSystemWindow, palette), palette.color(QPalette::Base));
    EXPECT_EQ(toQColor(kSystemButtonText, palette), palette.color(QPalette::ButtonText));
    EXPECT_EQ(toQColor(systemColour(200), palette), palette.color(QPalette::Window));
}

// A small dialog-like form with one control of each kind.
struct Dialog {
    enum { Caption, Field, Save, Frame, Name, Select, Swatch, List, Picture };
    Form form;
    RecordedEvents events;
    std::unique_ptr<QtFormWindow> window;

    Dialog() {
        form.name = "Dialog";
        form.caption = "Options & More";
        form.clientWidth = 6000;
        form.clientHeight = 4500;
        struct Row {
            const char* name;
            ControlKind kind;
            const char* text;
            float left, top, width, height;
            int tabIndex = -1;
            int container = -1;
        };
        using K = ControlKind;
        const Row rows[] = {
            {"Caption", K::Label, "R&B", 150, 150, 1500, 300},
            {"Field", K::TextField, "Rock & Roll <b>", 150, 600, 3000, 450},
            {"Save", K::Button, "Save & Quit", 4500, 150, 1200, 375, 2},
            {"Frame", K::Frame, "Sound & Vision", 150, 1500, 4500, 1500},
            {"Name", K::EditBox, "song.mp3", 150, 300, 2700, 375, 0, Frame},
            {"Select", K::Button, "Select", 3150, 1800, 1200, 375, 1},
            {"Swatch", K::Swatch, "", 4800, 1500, 375, 375},
            {"List", K::List, "", 150, 3150, 1500, 600},
            {"Picture", K::Picture, "", 4800, 3000, 600, 300},
        };
        for (const Row& r : rows) {
            Control c;
            c.name = r.name;
            c.kind = r.kind;
            c.text = r.text;
            c.left = r.left;
            c.top = r.top;
            c.width = r.width;
            c.height = r.height;
            c.tabIndex = r.tabIndex;
            c.container = r.container;
            if (c.kind == K::TextField) {
                c.font = Font{"Arial", 21.75f, 700};
                c.foreColour = 0x0000C0C0;
                c.backColour = 0x00400000;
            }
            if (c.kind == K::Swatch) c.backColour = 0x000000FF;
            c.visible = c.kind != K::List;
            form.add(std::move(c));
        }
        window = std::make_unique<QtFormWindow>(form, events, k96Dpi);
    }
    template <class W>
    W* widget(int control) {
        return qobject_cast<W*>(window->widgetOf(control));
    }
};

TEST(FormWindow, PlacesControlsInPixelsAndFrameChildrenInTheirFrame) {
    Dialog d;
    EXPECT_EQ(d.window->size(), QSize(400, 300));
    EXPECT_EQ(d.window->widgetOf(Dialog::Field)->geometry(), QRect(10, 40, 200, 30));
    // Inside the frame, relative to it.
    QWidget* name = d.window->widgetOf(Dialog::Name);
    EXPECT_EQ(name->parentWidget(), d.window->widgetOf(Dialog::Frame));
    EXPECT_EQ(name->geometry(), QRect(10, 20, 180, 25));
    // Drawn over the frame but placed in the form, and on top of it.
    QWidget* select = d.window->widgetOf(Dialog::Select);
    EXPECT_EQ(select->parentWidget(), d.window.get());
    EXPECT_EQ(select->geometry(), QRect(210, 120, 80, 25));
    EXPECT_EQ(d.window->childAt(select->geometry().center()), select);

    d.form.setLeft(Dialog::Field, 300);
    d.form.setWidth(Dialog::Field, 1500);
    EXPECT_EQ(d.window->widgetOf(Dialog::Field)->geometry(), QRect(20, 40, 100, 30));
}

TEST(FormWindow, AmpersandsAndMarkupShowAsWritten) {
    Dialog d;
    EXPECT_EQ(d.widget<QLabel>(Dialog::Caption)->text(), "R&B");
    auto* field = d.widget<QLabel>(Dialog::Field);
    EXPECT_EQ(field->text(), "Rock & Roll <b>");
    EXPECT_EQ(field->textFormat(), Qt::PlainText);
    // A button or frame reads "&Q" as Alt+Q with the "&" hidden; ours show the "&" itself.
    auto* save = d.widget<QPushButton>(Dialog::Save);
    EXPECT_TRUE(QKeySequence::mnemonic(save->text()).isEmpty());
    EXPECT_EQ(save->text().replace("&&", "&"), "Save & Quit");
    auto* frame = d.widget<QGroupBox>(Dialog::Frame);
    EXPECT_TRUE(QKeySequence::mnemonic(frame->title()).isEmpty());
    EXPECT_EQ(frame->title().replace("&&", "&"), "Sound & Vision");
    EXPECT_EQ(d.window->windowTitle(), "Options & More");

    d.form.setText(Dialog::Save, "A&&B");
    EXPECT_EQ(save->text().replace("&&", "&"), "A&&B");
}

TEST(FormWindow, TextFieldWearsItsColoursAndFontAndTakesNoInput) {
    Dialog d;
    auto* field = d.widget<QLabel>(Dialog::Field);
    EXPECT_EQ(field->palette().color(QPalette::WindowText), QColor(192, 192, 0));
    EXPECT_EQ(field->palette().color(QPalette::Window), QColor(0, 0, 64));
    EXPECT_TRUE(field->autoFillBackground());
    EXPECT_EQ(field->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(field->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(field->textInteractionFlags() & Qt::TextEditable, 0);
    EXPECT_DOUBLE_EQ(field->font().pointSizeF(), 21.75);
    EXPECT_EQ(field->font().weight(), QFont::Bold);
    // fontconfig gives Arial's metric twin where Arial itself is absent.
    const QString family = QFontInfo(field->font()).family();
    EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family.toStdString();

    d.form.setForeColour(Dialog::Field, 0x0000C000);
    EXPECT_EQ(field->palette().color(QPalette::WindowText), QColor(0, 192, 0));
    d.form.setFontSize(Dialog::Field, 36);
    EXPECT_DOUBLE_EQ(field->font().pointSizeF(), 36);
    d.form.setText(Dialog::Field, "Next");
    EXPECT_EQ(field->text(), "Next");

    auto* swatch = d.window->widgetOf(Dialog::Swatch);
    EXPECT_EQ(swatch->palette().color(QPalette::Window), QColor(255, 0, 0));
    d.form.setBackColour(Dialog::Swatch, 0x00FF0000);
    EXPECT_EQ(swatch->palette().color(QPalette::Window), QColor(0, 0, 255));
}

// A field shows a text that does not fit from its beginning, not its middle.
TEST(FormWindow, ATextTooWideShowsItsBeginning) {
    Dialog d;
    QWidget* field = d.window->widgetOf(Dialog::Field);  // 200 x 30 pixels
    const auto firstInkColumn = [&] {
        const QImage shot = field->grab().toImage();
        const QColor background = shot.pixelColor(0, 0);
        for (int x = 0; x < shot.width(); ++x)
            for (int y = 0; y < shot.height(); ++y)
                if (shot.pixelColor(x, y) != background) return x;
        return -1;
    };
    d.form.setText(Dialog::Field, "ab");
    EXPECT_GT(firstInkColumn(), 60);
    d.form.setText(Dialog::Field, std::string(40, 'W'));
    const int column = firstInkColumn();
    EXPECT_GE(column, 0);
    EXPECT_LE(column, 4);
}

TEST(FormWindow, ListStaysHiddenWithItsItems) {
    Dialog d;
    d.window->show();
    auto* list = d.widget<QListWidget>(Dialog::List);
    d.form.addItem(Dialog::List, "cdjr:/S time 0:01");
    d.form.addItem(Dialog::List, "cdjr:/S time 0:02");
    d.form.removeItem(Dialog::List, 0);
    EXPECT_FALSE(list->isVisible());
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "cdjr:/S time 0:02");
    d.form.setVisible(Dialog::Caption, false);
    EXPECT_FALSE(d.window->widgetOf(Dialog::Caption)->isVisible());
}

TEST(FormWindow, ShowFocusesFirstTabStopAndTabFollowsTabIndex) {
    Dialog d;
    d.window->show();
    QApplication::setActiveWindow(d.window.get());
    QWidget* name = d.window->widgetOf(Dialog::Name);
    EXPECT_TRUE(test::waitUntil([&] { return name->hasFocus(); }, 1000));
    // Tab goes by tab index, whatever the order the controls were made in.
    for (int next : {Dialog::Select, Dialog::Save, Dialog::Name}) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(QApplication::focusWidget(), &tab);
        EXPECT_EQ(QApplication::focusWidget(), d.window->widgetOf(next)) << next;
    }
}

TEST(FormWindow, ButtonsClickButEnterAndEscapeDoNothing) {
    Dialog d;
    d.window->show();
    auto* save = d.widget<QPushButton>(Dialog::Save);
    EXPECT_FALSE(save->autoDefault());
    EXPECT_FALSE(save->isDefault());
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(save, &press);
        QApplication::sendEvent(save, &release);
    }
    EXPECT_TRUE(d.events.lines.empty());
    EXPECT_TRUE(d.window->isVisible());
    save->click();
    EXPECT_EQ(d.events.lines, std::vector<std::string>{"click 2"});
}

// The edit reaches the core as an event; the backend never writes the core's form itself.
TEST(FormWindow, EditsReachTheCoreWithoutTheBackendWritingTheForm) {
    Dialog d;
    auto* name = d.widget<QLineEdit>(Dialog::Name);
    EXPECT_EQ(name->text(), "song.mp3");
    name->setFocus();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
    name->setCursorPosition(4);
    QApplication::sendEvent(name, &key);
    EXPECT_EQ(d.events.lines, std::vector<std::string>{"edit 4 songx.mp3"});
    EXPECT_EQ(d.form[Dialog::Name].text, "song.mp3");
    EXPECT_EQ(name->text(), "songx.mp3");
    d.form.setText(Dialog::Name, "other.mp3");  // the program's own write is not an edit
    EXPECT_EQ(name->text(), "other.mp3");
    EXPECT_EQ(d.events.lines.size(), 1u);
}

void sendMouse(QWidget* target, QEvent::Type type, QPointF at, Qt::MouseButton button,
               Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent event(type, at, target->mapToGlobal(at), button, buttons, modifiers);
    QApplication::sendEvent(target, &event);
}

TEST(FormWindow, OnlyTheBackgroundsMouseReachesTheCore) {
    Dialog d;
    d.window->show();
    EXPECT_TRUE(d.window->hasMouseTracking());
    sendMouse(d.window.get(), QEvent::MouseMove, {16, 32}, Qt::NoButton, Qt::NoButton);
    sendMouse(d.window.get(), QEvent::MouseButtonPress, {1, 2}, Qt::RightButton, Qt::RightButton,
              Qt::ShiftModifier | Qt::AltModifier);
    sendMouse(d.window.get(), QEvent::MouseButtonPress, {0, 0}, Qt::MiddleButton, Qt::MiddleButton);
    // Over a control: the control's own, even for controls that ignore the mouse.
    for (int control : {Dialog::Caption, Dialog::Field, Dialog::Swatch, Dialog::Frame}) {
        QWidget* w = d.window->widgetOf(control);
        sendMouse(w, QEvent::MouseMove, {2, 2}, Qt::NoButton, Qt::NoButton);
        sendMouse(w, QEvent::MouseButtonPress, {2, 2}, Qt::LeftButton, Qt::LeftButton);
    }
    const std::vector<std::string> expected = {"move 0 0 240 480", "down 2 5 15 30",
                                               "down 4 0 0 0"};
    EXPECT_EQ(d.events.lines, expected);
}

TEST(FormWindow, CloseIsTheCoresDecision) {
    Dialog d;
    d.window->show();
    EXPECT_FALSE(d.window->close());
    EXPECT_TRUE(d.window->isVisible());
    EXPECT_EQ(d.events.lines, std::vector<std::string>{"close"});
}

TEST(FormWindow, PictureStretchesOverTheWholeBox) {
    Dialog d;
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(0, 0, 255));
    d.form.setPicture(Dialog::Picture, std::make_shared<QtPicture>(image));
    QWidget* box = d.window->widgetOf(Dialog::Picture);
    ASSERT_EQ(box->size(), QSize(40, 20));
    const QImage shot = box->grab().toImage();
    // Smoothly scaled: pure at both ends, from the top to the bottom edge.
    EXPECT_EQ(shot.pixelColor(1, 0), QColor(255, 0, 0));
    EXPECT_EQ(shot.pixelColor(2, 19), QColor(255, 0, 0));
    EXPECT_EQ(shot.pixelColor(38, 0), QColor(0, 0, 255));
    EXPECT_EQ(shot.pixelColor(39, 19), QColor(0, 0, 255));

    d.form.setPicture(Dialog::Picture, nullptr);
    EXPECT_EQ(box->grab().toImage().pixelColor(38, 18), QColor(0, 0, 0));
}

TEST(FormWindow, BoardShowsItsDesignTexts) {
    Form board = display::makeBoard();
    RecordedEvents events;
    QtFormWindow window(board, events, k96Dpi);
    auto text = [&](int id) { return qobject_cast<QLabel*>(window.widgetOf(id))->text(); };
    EXPECT_EQ(text(display::Label1), "Currently Playing:");
    EXPECT_EQ(text(display::Artist), "Artist");
    EXPECT_EQ(text(display::NextArtist), "");
    EXPECT_EQ(window.widgetOf(display::Artist)->geometry(), QRect(16, 56, 777, 33));
    EXPECT_EQ(window.widgetOf(display::CDImage)->geometry(), QRect(240, 152, 329, 329));
    EXPECT_TRUE(window.widgetOf(display::List1)->isHidden());
}

}  // namespace
}  // namespace velmora::qt
