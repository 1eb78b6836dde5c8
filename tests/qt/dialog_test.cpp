// SPDX-License-Identifier: MIT
// The options dialog on the Qt backend: its window at 96 dpi, the keyboard, and "OK" reaching
// the INI file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "dialog/settings_dialog.h"
#include "dialog/settings_form.h"
#include "link/socket_link.h"
#include "platform/qt/qt_form_window.h"
#include "platform/qt/qt_platform.h"
#include "qt_test_util.h"
#include "settings/settings_keys.h"
#include "shell/application.h"

namespace velmora::qt {
namespace {

using namespace velmora::settings;
using namespace velmora::dialog;
using test::waitUntil;

QtFormWindow* dialogWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = dynamic_cast<QtFormWindow*>(w);
            window && window->windowTitle() == "Velmora2000 Options")
            return window;
    return nullptr;
}

// The dialog as "/C" opens it, against a store in a folder of its own.
struct OpenDialog {
    QTemporaryDir folder;
    QtSettingsStore store{folder.path()};
    QtPlatform platform{QStringList{"velmora2000", "/C"}};
    platform::Services services = platform.services(&store);
    bool closed = false;
    std::unique_ptr<dialog::SettingsDialog> dialog;
    QtFormWindow* window = nullptr;

    void open() {
        dialog = std::make_unique<dialog::SettingsDialog>(services, [this] { closed = true; });
        dialog->load();
        dialog->show();
        window = dialogWindow();
        ASSERT_NE(window, nullptr);
        QApplication::setActiveWindow(window);
    }
    QWidget* widget(int control) const { return window->widgetOf(control); }
    void press(QWidget* target, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    }
    QByteArray ini() const {
        QFile file(store.fileOf("Velmora2000"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST(OptionsDialog, GeometryAt96Dpi) {
    OpenDialog d;
    ASSERT_EQ(d.platform.ui.scale().perPixelX, 15) << "the offscreen screen is not at 96 dpi";
    d.open();
    EXPECT_EQ(d.window->size(), QSize(305, 356));  // 4575 x 5340 twips

    struct Case {
        int control;
        QRect pixels;
        int parent;  // -1: the window itself
    } cases[] = {
        {Label1, {8, 8, 73, 17}, -1},
        {ShowColorTime, {96, 8, 25, 25}, -1},
        {TextcolorTime, {128, 8, 81, 25}, -1},
        {Label7, {8, 200, 73, 17}, -1},
        {ShowColorBackground, {96, 200, 25, 25}, -1},
        {TextcolorBackground, {128, 200, 81, 25}, -1},
        {Command1, {224, 8, 73, 25}, -1},
        {Command3, {224, 40, 73, 25}, -1},
        {Frame1, {8, 232, 289, 49}, -1},
        {Scrdefault, {8, 16, 185, 25}, Frame1},
        {Command2, {208, 248, 73, 25}, -1},
        {Frame2, {8, 288, 289, 49}, -1},
        {Pictdefault, {8, 16, 185, 25}, Frame2},
        {Command5, {208, 304, 73, 25}, -1},
    };
    for (const auto& c : cases) {
        QWidget* w = d.widget(c.control);
        ASSERT_NE(w, nullptr) << c.control;
        EXPECT_EQ(w->geometry(), c.pixels) << d.dialog->form()[c.control].name;
        EXPECT_EQ(w->parentWidget(), c.parent < 0 ? d.window : d.widget(c.parent))
            << d.dialog->form()[c.control].name;
    }
    // The "Select" buttons are drawn over their frames, not under them.
    for (int select : {Command2, Command5}) {
        QWidget* w = d.widget(select);
        EXPECT_EQ(d.window->childAt(w->geometry().center()), w);
    }
    EXPECT_EQ(qobject_cast<QGroupBox*>(d.widget(Frame1))->title(), "Default Screen Saver");
    EXPECT_EQ(qobject_cast<QPushButton*>(d.widget(TextcolorArtist))->text(), "Set Color");
}

TEST(OptionsDialog, OpensOnOkAndTabFollowsTheDialogsOrder) {
    OpenDialog d;
    d.open();
    EXPECT_TRUE(waitUntil([&] { return d.widget(Command1)->hasFocus(); }, 1000));
    const int order[] = {
        Command2,       Command3,        Scrdefault,       TextcolorTime,     TextcolorSection,
        TextcolorTitle, TextcolorArtist, TextcolorCDTitle, TextcolorNextSong, TextcolorBackground,
        Pictdefault,    Command5,        Command1};
    for (int next : order) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(QApplication::focusWidget(), &tab);
        EXPECT_EQ(QApplication::focusWidget(), d.widget(next)) << d.dialog->form()[next].name;
    }
}

TEST(OptionsDialog, EnterAndEscapeNeitherConfirmNorCancel) {
    OpenDialog d;
    d.open();
    for (QWidget* target : {d.widget(Command1), d.widget(Scrdefault), d.widget(Command3),
                            static_cast<QWidget*>(d.window)}) {
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) d.press(target, key);
    }
    test::spin(50);
    EXPECT_FALSE(d.closed);
    EXPECT_TRUE(d.window->isVisible());
    EXPECT_TRUE(d.ini().isEmpty());
}

TEST(OptionsDialog, OkStoresTheElevenValuesInTheIniFile) {
    OpenDialog d;
    d.store.write("Velmora2000", "Default_saver", "FullPath", "/usr/lib/savers/Ocean & Sky.scr");
    d.store.write("Velmora2000", "Default_picture", "Name", "cover.jpg");
    d.store.write("Velmora2000", "Default_picture", "FullPath", "/home/u/cover.jpg");
    d.store.write("Velmora2000", "Default_color", "Background", "8388608");
    d.store.write("Velmora2000", "Default_color", "Title", "not a colour");
    d.open();

    auto* name = qobject_cast<QLineEdit*>(d.widget(Scrdefault));
    name->setFocus();
    for (QChar c : QStringLiteral("Waves.scr")) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(name, &key);
    }
    qobject_cast<QPushButton*>(d.widget(Command1))->click();
    ASSERT_TRUE(waitUntil([&] { return d.closed; }));
    EXPECT_EQ(dialogWindow(), nullptr);

    const QByteArray ini = d.ini();
    // Absent colours are stored as the board shows them; one that names no colour as black.
    for (const char* line :
         {"[Default_color]", "Time=49152", "Section=12632256", "Title=0", "Artist=49344",
          "CDTitle=49344", "NextSong=49344", "Background=8388608", "[Default_saver]",
          "Name=Waves.scr", "[Default_picture]", "Name=cover.jpg"})
        EXPECT_TRUE(ini.contains(line)) << line << "\n" << ini.toStdString();

    QtSettingsStore next(d.folder.path());  // what the next start reads
    EXPECT_EQ(next.read("Velmora2000", "Default_saver", "FullPath", "?"),
              "/usr/lib/savers/Ocean & Sky.scr");
    EXPECT_EQ(next.read("Velmora2000", "Default_picture", "FullPath", "?"), "/home/u/cover.jpg");
    EXPECT_EQ(next.read("Velmora2000", "Default_color", "Title", "?"), "0");
}

TEST(OptionsDialog, TheCloseBoxStoresNothing) {
    OpenDialog d;
    d.open();
    d.window->close();
    ASSERT_TRUE(waitUntil([&] { return d.closed; }));
    EXPECT_TRUE(d.ini().isEmpty());
}

// Answers the next modal chooser once it is up, as a user would.
template <class Chooser>
void answerNextChooser(std::function<void(Chooser*)> answer) {
    QTimer::singleShot(0, [answer] {
        Chooser* chooser = nullptr;
        test::waitUntil([&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* c = qobject_cast<Chooser*>(w); c && c->isVisible()) chooser = c;
            return chooser != nullptr;
        });
        ASSERT_NE(chooser, nullptr);
        answer(chooser);
    });
}

// One user's round trip: "/C" picks a colour and a saver and confirms; the next "/S" shows them.
TEST(OptionsDialog, ChoicesConfirmedInOneRunColourTheNextBoard) {
    QTemporaryDir folder;
    QtSettingsStore store(folder.path());
    store.write("Slinkx", "Service", "Port", "1");  // no jukebox: the board shows its design
    QFile saver(folder.path() + "/Ocean.scr");
    ASSERT_TRUE(saver.open(QIODevice::WriteOnly));
    saver.close();
    const QColor navy(16, 32, 64);
    {
        QtPlatform platform(QStringList{"velmora2000", "/C"});
        platform::Services services = platform.services(&store);
        link::SocketLinkFactory links(services);
        shell::Application app(services, links);
        app.start();
        QtFormWindow* window = dialogWindow();
        ASSERT_NE(window, nullptr);
        QApplication::setActiveWindow(window);

        answerNextChooser<QColorDialog>([navy](QColorDialog* chooser) {
            chooser->setCurrentColor(navy);
            chooser->accept();
        });
        qobject_cast<QPushButton*>(window->widgetOf(TextcolorBackground))->click();
        answerNextChooser<QFileDialog>([&saver](QFileDialog* chooser) {
            chooser->selectFile(saver.fileName());
            static_cast<QDialog*>(chooser)->accept();  // QFileDialog's own is protected
        });
        qobject_cast<QPushButton*>(window->widgetOf(Command2))->click();
        EXPECT_EQ(qobject_cast<QLineEdit*>(window->widgetOf(Scrdefault))->text(), "Ocean.scr");
        qobject_cast<QPushButton*>(window->widgetOf(Command1))->click();
        ASSERT_TRUE(waitUntil([&] { return platform.ui.finished(); }));
        EXPECT_EQ(platform.ui.exitCode(), 0);
    }
    EXPECT_EQ(store.read("Velmora2000", "Default_color", "Background", "?"),
              std::to_string(rgb(16, 32, 64)));
    EXPECT_EQ(store.read("Velmora2000", "Default_saver", "Name", "?"), "Ocean.scr");
    EXPECT_EQ(store.read("Velmora2000", "Default_saver", "FullPath", "?"),
              saver.fileName().toStdString());

    QtPlatform platform(QStringList{"velmora2000", "/S"});
    test::DesktopUi desktop(platform.ui, 800, 600);
    platform::Services services = test::withUi(platform.services(&store), desktop);
    link::SocketLinkFactory links(services);
    shell::Application app(services, links);
    app.start();
    QtFormWindow* board = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = dynamic_cast<QtFormWindow*>(w); window && window->isVisible())
            board = window;
    ASSERT_NE(board, nullptr);
    const QImage shot = board->grab().toImage();
    EXPECT_EQ(shot.pixelColor(2, 2), navy);                                        // the board
    EXPECT_EQ(shot.pixelColor(shot.width() / 2, shot.height() * 17 / 100), navy);  // Title's field
}

}  // namespace
}  // namespace velmora::qt
