// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "platform/qt/qt_choosers.h"

// Failure messages with readable texts.
[[maybe_unused]] static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace velmora::qt {
namespace {

using platform::FileFilter;

// The dialog's own filter lists, as its "Select" buttons pass them.
const std::vector<FileFilter> kSaverFilters = {{"All Files (*.*)", "*.*"},
                                               {"Screen Saver File(*.scr)", "*.scr"}};
const std::vector<FileFilter> kPictureFilters = {
    {"All Files (*.*)", "*.*"},
    {"Picture File(*.gif,*.jpg,*.bmp,*.wmf,*.rle,*.emf)", "*.gif;*.jpg;*.bmp;*.wmf;*.rle;*.emf"}};

TEST(ChooserFilters, KeepTheDescriptionAndListThePatterns) {
    EXPECT_EQ(nameFilters(kSaverFilters),
              QStringList({"All Files (*.*) (*)", "Screen Saver File(*.scr) (*.scr)"}));
    EXPECT_EQ(nameFilters(kPictureFilters),
              QStringList({"All Files (*.*) (*)",
                           "Picture File(*.gif,*.jpg,*.bmp,*.wmf,*.rle,*.emf) "
                           "(*.gif *.jpg *.bmp *.wmf *.rle *.emf)"}));
    EXPECT_EQ(nameFilters({{"Odd", " *.a ;;*.b; "}}), QStringList({"Odd (*.a *.b)"}));
    EXPECT_TRUE(nameFilters({}).isEmpty());
}

class ChooserStartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QDir(dir.path()).mkdir("savers");
        QFile file(dir.filePath("savers/Ocean.scr"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    std::string in(const char* rest) { return dir.filePath(rest).toStdString(); }
    QTemporaryDir dir;
};

TEST_F(ChooserStartTest, OpensBesideAFileOrInAFolder) {
    const QString savers = dir.filePath("savers");
    struct Case {
        std::string folder, name;
        QString expectedFolder, expectedFile;
    };
    const std::vector<Case> cases = {
        {in("savers/Ocean.scr"), "", savers, "Ocean.scr"},  // the stored full path
        {in("savers/Ocean.scr"), "Ocean.scr", savers, "Ocean.scr"},
        {in("savers/Ocean.scr"), "Typed.scr", savers, "Typed.scr"},  // the name box wins
        {in("savers"), "Ocean.scr", savers, "Ocean.scr"},
        {in("savers/Moved.scr"), "Moved.scr", savers, "Moved.scr"},  // file gone, folder kept
        {in("savers/Moved.scr"), "", savers, ""},
        {in("gone/Ocean.scr"), "Ocean.scr", "", "Ocean.scr"},
        {"", "", "", ""},
        {"", "Typed.scr", "", "Typed.scr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder + " | " + c.name);
        const ChooserStart start = chooserStart(c.folder, c.name);
        EXPECT_EQ(start.folder, c.expectedFolder);
        EXPECT_EQ(start.file, c.expectedFile);
    }
}

TEST(ChooserColours, RedIsInTheLowByte) {
    const std::vector<std::pair<Colour, QColor>> cases = {
        {0, QColor(0, 0, 0)},
        {255, QColor(255, 0, 0)},
        {65280, QColor(0, 255, 0)},
        {16711680, QColor(0, 0, 255)},
        {16777215, QColor(255, 255, 255)},
        {0x00336699, QColor(0x99, 0x66, 0x33)},
    };
    for (const auto& [colour, qcolour] : cases) {
        EXPECT_EQ(qColourOf(colour), qcolour) << colour;
        EXPECT_EQ(colourOf(qcolour), colour) << colour;
    }
    EXPECT_EQ(colourOf(QColor::fromHsv(0, 255, 255)), 255);  // any colour model comes back as RGB
}

// Runs action on the modal dialog once the chooser shows it.
void whenModal(std::function<void(QWidget*)> action, int triesLeft = 100) {
    QTimer::singleShot(10, [action = std::move(action), triesLeft]() mutable {
        if (QWidget* modal = QApplication::activeModalWidget()) return action(modal);
        if (triesLeft > 0) whenModal(std::move(action), triesLeft - 1);
    });
}

TEST_F(ChooserStartTest, TheFileChooserOpensAsAskedAndReturnsPathAndTitle) {
    platform::FileRequest request{kSaverFilters, 2, in("savers/Ocean.scr"), "Ocean.scr", true};
    QString shownFolder, shownFilter;
    QStringList shownFiles;
    whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        shownFolder = dialog->directory().absolutePath();
        shownFilter = dialog->selectedNameFilter();
        shownFiles = dialog->selectedFiles();
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own is protected
    });
    const auto choice = QtChoosers().chooseFile(request);

    EXPECT_EQ(shownFolder, dir.filePath("savers"));
    EXPECT_EQ(shownFilter, QString("Screen Saver File(*.scr)"));  // as the user sees it
    EXPECT_EQ(shownFiles, QStringList({dir.filePath("savers/Ocean.scr")}));
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->fullPath, in("savers/Ocean.scr"));
    EXPECT_EQ(choice->title, "Ocean.scr");
}

TEST_F(ChooserStartTest, CancelledChoosersGiveNothing) {
    whenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(QtChoosers().chooseFile({kPictureFilters, 2, "", "", true}).has_value());
    whenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(QtChoosers().chooseColour(255, {.startOnInitial = true}).has_value());
}

TEST(ColourChooser, OpensOnTheInitialColourAndReturnsTheChosenOne) {
    QColor shown;
    whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QColorDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        shown = dialog->currentColor();
        dialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
        dialog->accept();
    });
    const auto chosen = QtChoosers().chooseColour(0x00336699, {.startOnInitial = true});

    EXPECT_EQ(shown, QColor(0x99, 0x66, 0x33));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, 0x00563412);
}

}  // namespace
}  // namespace velmora::qt
