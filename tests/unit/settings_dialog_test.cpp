// SPDX-License-Identifier: MIT
// The options dialog: its design, load, "OK", "Cancel", the close box and the choosers.
#include <gtest/gtest.h>

#include "display/board_design.h"
#include "display/board_scaling.h"

#include <algorithm>

#include "dialog/settings_dialog.h"
#include "dialog/settings_form.h"
#include "fake/fake_platform.h"
#include "settings/settings_keys.h"

namespace velmora::dialog {
namespace {

using namespace velmora::settings;
using fake::FakePlatform;
using Lines = std::vector<std::string>;

const char* const kColourKeys[] = {"Time",    "Section",  "Title",     "Artist",
                                   "CDTitle", "NextSong", "Background"};

struct Dialog {
    FakePlatform platform;
    platform::Services services = platform.services();
    int closed = 0;
    std::unique_ptr<dialog::SettingsDialog> dialog;

    Dialog() = default;
    explicit Dialog(platform::Services s) : services(s) {}
    explicit Dialog(platform::Choosers& choosers)
        : services{platform, platform, platform, platform, choosers, platform, platform} {}

    void set(const std::string& section, const std::string& key, const std::string& value) {
        platform.store[{"Velmora2000", section, key}] = value;
    }
    std::string stored(const std::string& section, const std::string& key) const {
        return platform.store.at({"Velmora2000", section, key});
    }
    // Opens the dialog and forgets the calls made so far.
    void open() {
        dialog = std::make_unique<dialog::SettingsDialog>(services, [this] { ++closed; });
        dialog->load();
        dialog->show();
        platform.log.clear();
    }
    platform::WindowEvents& events() { return *dialog; }
    void click(int control) {
        events().clicked(control);
        platform.runPosted();
    }
    const Form& form() const { return dialog->form(); }
    Colour swatch(int row) const { return form()[swatchOfRow(row)].backColour; }
};

// --- the design ---

TEST(SettingsForm, ControlsSitWhereDesignedWithTheirCaptions) {
    const Form form = makeSettingsForm();
    EXPECT_EQ(form.name, "SettingsForm");
    EXPECT_EQ(form.caption, "Velmora2000 Options");
    EXPECT_EQ(form.clientWidth, 4575);
    EXPECT_EQ(form.clientHeight, 5340);
    ASSERT_EQ(form.count(), DialogControlCount);

    struct Case {
        const char* name;
        ControlKind kind;
        const char* caption;
        float left, top, width, height;
        const char* container;
    } cases[] = {
        {"Label1", ControlKind::Label, "Time :", 120, 120, 1095, 255, nullptr},
        {"Label2", ControlKind::Label, "Section Title :", 120, 600, 1095, 255, nullptr},
        {"Label3", ControlKind::Label, "Title :", 120, 1080, 1095, 255, nullptr},
        {"Label4", ControlKind::Label, "Artist :", 120, 1560, 1095, 255, nullptr},
        {"Label5", ControlKind::Label, "CD Title :", 120, 2040, 1095, 255, nullptr},
        {"Label6", ControlKind::Label, "Next Song :", 120, 2520, 1095, 255, nullptr},
        {"Label7", ControlKind::Label, "Background :", 120, 3000, 1095, 255, nullptr},
        {"ShowColorTime", ControlKind::Swatch, "", 1440, 120, 375, 375, nullptr},
        {"ShowColorBackground", ControlKind::Swatch, "", 1440, 3000, 375, 375, nullptr},
        {"TextcolorTime", ControlKind::Button, "Set Color", 1920, 120, 1215, 375, nullptr},
        {"TextcolorCDTitle", ControlKind::Button, "Set Color", 1920, 2040, 1215, 375, nullptr},
        {"TextcolorBackground", ControlKind::Button, "Set Color", 1920, 3000, 1215, 375, nullptr},
        {"Command1", ControlKind::Button, "OK", 3360, 120, 1095, 375, nullptr},
        {"Command3", ControlKind::Button, "Cancel", 3360, 600, 1095, 375, nullptr},
        {"Frame1", ControlKind::Frame, "Default Screen Saver", 120, 3480, 4335, 735, nullptr},
        {"Scrdefault", ControlKind::EditBox, "", 120, 240, 2775, 375, "Frame1"},
        {"Command2", ControlKind::Button, "Select", 3120, 3720, 1095, 375, nullptr},
        {"Frame2", ControlKind::Frame, "Default Picture", 120, 4320, 4335, 735, nullptr},
        {"Pictdefault", ControlKind::EditBox, "", 120, 240, 2775, 375, "Frame2"},
        {"Command5", ControlKind::Button, "Select", 3120, 4560, 1095, 375, nullptr},
    };
    for (const auto& c : cases) {
        const int i = form.find(c.name);
        ASSERT_GE(i, 0) << c.name;
        const Control& got = form[i];
        EXPECT_EQ(got.kind, c.kind) << c.name;
        EXPECT_EQ(got.text, c.caption) << c.name;
        EXPECT_EQ(got.left, c.left) << c.name;
        EXPECT_EQ(got.top, c.top) << c.name;
        EXPECT_EQ(got.width, c.width) << c.name;
        EXPECT_EQ(got.height, c.height) << c.name;
        EXPECT_EQ(got.container, c.container ? form.find(c.container) : -1) << c.name;
    }
    // Rows keep a pitch of 480 twips, and each "Select" is drawn over its frame.
    for (int row = 0; row < kColourRows; ++row) {
        EXPECT_EQ(form[swatchOfRow(row)].top, 120 + 480 * row);
        EXPECT_EQ(form[buttonOfRow(row)].top, 120 + 480 * row);
        EXPECT_EQ(form[buttonOfRow(row)].name, std::string("Textcolor") + kColourKeys[row]);
    }
    // The row captions read into their swatches; the board's own labels stay centred.
    for (int row = 0; row < kColourRows; ++row)
        EXPECT_EQ(form[form.find("Label" + std::to_string(row + 1))].alignment, Alignment::Left);
    EXPECT_EQ(display::makeBoard()[display::Label1].alignment, Alignment::Centre);
    EXPECT_GT(form.find("Command2"), form.find("Frame1"));
    EXPECT_GT(form.find("Command5"), form.find("Frame2"));
}

TEST(SettingsForm, KeyboardOrderStartsOnOk) {
    const Form form = makeSettingsForm();
    std::vector<std::pair<int, std::string>> stops;
    for (int i = 0; i < form.count(); ++i)
        if (form[i].tabIndex >= 0) stops.emplace_back(form[i].tabIndex, form[i].name);
    std::sort(stops.begin(), stops.end());
    Lines order;
    for (int i = 0; i < static_cast<int>(stops.size()); ++i) {
        EXPECT_EQ(stops[static_cast<size_t>(i)].first, i) << "tab indices run without gaps";
        order.push_back(stops[static_cast<size_t>(i)].second);
    }
    const Lines expected = {"Command1",
                            "Command2",
                            "Command3",
                            "Scrdefault",
                            "TextcolorTime",
                            "TextcolorSection",
                            "TextcolorTitle",
                            "TextcolorArtist",
                            "TextcolorCDTitle",
                            "TextcolorNextSong",
                            "TextcolorBackground",
                            "Pictdefault",
                            "Command5"};
    EXPECT_EQ(order, expected);
}

// --- load ---

TEST(SettingsDialog, OpensWithTheBoardsColoursAndEmptyNamesOnAFreshUser) {
    Dialog d;
    d.dialog = std::make_unique<dialog::SettingsDialog>(d.services, [] {});
    d.dialog->load();
    const Lines expected = {
        "CreateWindow(SettingsForm)",
        "GetSetting(Velmora2000,Default_saver,Name,)",
        "GetSetting(Velmora2000,Default_saver,FullPath,)",
        "GetSetting(Velmora2000,Default_picture,Name,)",
        "GetSetting(Velmora2000,Default_picture,FullPath,)",
        "GetSetting(Velmora2000,Default_color,Time,49152)",
        "GetSetting(Velmora2000,Default_color,Section,12632256)",
        "GetSetting(Velmora2000,Default_color,Artist,49344)",
        "GetSetting(Velmora2000,Default_color,CDTitle,49344)",
        "GetSetting(Velmora2000,Default_color,Title,49344)",
        "GetSetting(Velmora2000,Default_color,NextSong,49344)",
        "GetSetting(Velmora2000,Default_color,Background,0)",
    };
    EXPECT_EQ(d.platform.log, expected);
    for (int row = 0; row < kColourRows; ++row)
        EXPECT_EQ(d.swatch(row), display::designColour(kColourKeys[row])) << row;
    EXPECT_EQ(d.form()[Scrdefault].text, "");
    EXPECT_EQ(d.form()[Pictdefault].text, "");
    EXPECT_EQ(d.dialog->saverFullPath(), "");
    EXPECT_EQ(d.dialog->pictureFullPath(), "");
}

TEST(SettingsDialog, ShowsWhatIsStoredAndUnreadableColoursAsBlack) {
    Dialog d;
    d.set("Default_saver", "Name", "Mystify.scr");
    d.set("Default_saver", "FullPath", "/usr/lib/savers/Mystify.scr");
    d.set("Default_picture", "Name", "cover.jpg");
    d.set("Default_picture", "FullPath", "/home/u/Pictures/cover.jpg");
    const char* texts[] = {"255", "65280", "16711680", "letters", "", "99999999999", " -1 "};
    const Colour shown[] = {255, 65280, 16711680, 0, 0, 0, -1};
    for (int row = 0; row < kColourRows; ++row)
        d.set("Default_color", kColourKeys[row], texts[row]);
    d.open();
    EXPECT_EQ(d.form()[Scrdefault].text, "Mystify.scr");
    EXPECT_EQ(d.dialog->saverFullPath(), "/usr/lib/savers/Mystify.scr");
    EXPECT_EQ(d.form()[Pictdefault].text, "cover.jpg");
    EXPECT_EQ(d.dialog->pictureFullPath(), "/home/u/Pictures/cover.jpg");
    for (int row = 0; row < kColourRows; ++row) EXPECT_EQ(d.swatch(row), shown[row]) << row;
}

// --- OK, Cancel, close box ---

// "OK" without a change must not turn the board's text black: absent colours show, and are stored
// as, what the board shows for them. A stored "0" stays black.
TEST(SettingsDialog, OkWithoutAChangeKeepsTheColoursTheBoardShows) {
    Dialog d;
    d.set("Default_color", "Time", "0");
    d.open();
    d.click(buttonOfRow(2));  // "Title :", cancelled
    EXPECT_EQ(d.platform.calls("ChooseColor"), Lines{"ChooseColor(49344)"});
    d.click(Command1);

    Form before = display::makeBoard();
    Form after = display::makeBoard();
    fake::FakePlatform fresh;
    display::applyScalingAndColours(before, fresh.screen, fresh);
    display::applyScalingAndColours(after, d.platform.screen, d.platform);
    for (int id = 0; id < after.count(); ++id) {
        const bool time = id == display::ElapsedTime || id == display::TotalTime ||
                          id == display::Label3 || id == display::Label4;
        EXPECT_EQ(after[id].foreColour, time ? 0 : before[id].foreColour) << after[id].name;
        EXPECT_EQ(after[id].backColour, before[id].backColour) << after[id].name;
    }
    EXPECT_EQ(after.backColour(), before.backColour());
}

TEST(SettingsDialog, OkAtOnceWritesElevenValuesInOrderAndCloses) {
    Dialog d;
    d.open();
    d.click(Command1);
    const Lines expected = {
        "SaveSetting(Velmora2000,Default_saver,Name,)",
        "SaveSetting(Velmora2000,Default_saver,FullPath,)",
        "SaveSetting(Velmora2000,Default_picture,Name,)",
        "SaveSetting(Velmora2000,Default_picture,FullPath,)",
        "SaveSetting(Velmora2000,Default_color,Time,49152)",
        "SaveSetting(Velmora2000,Default_color,Section,12632256)",
        "SaveSetting(Velmora2000,Default_color,Title,49344)",
        "SaveSetting(Velmora2000,Default_color,Artist,49344)",
        "SaveSetting(Velmora2000,Default_color,CDTitle,49344)",
        "SaveSetting(Velmora2000,Default_color,NextSong,49344)",
        "SaveSetting(Velmora2000,Default_color,Background,0)",
        "DestroyWindow(SettingsForm)",
    };
    EXPECT_EQ(d.platform.log, expected);
    EXPECT_EQ(d.closed, 1);
}

TEST(SettingsDialog, OkRewritesEveryValueAsLoaded) {
    Dialog d;
    d.set("Default_saver", "Name", "a.scr");
    d.set("Default_saver", "FullPath", "/x/a.scr");
    d.set("Default_color", "Title", "16777215");
    d.set("Default_color", "Artist", "-2147483648");
    d.open();
    auto before = d.platform.store;
    d.click(Command1);
    EXPECT_EQ(d.platform.calls("SaveSetting").size(), 11u);
    for (const auto& [key, value] : before) EXPECT_EQ(d.platform.store.at(key), value);
    EXPECT_EQ(d.stored("Default_color", "Time"), "49152");  // the board's green, as it shows
}

TEST(SettingsDialog, ATypedNameIsStoredWhileItsFullPathStays) {
    Dialog d;
    d.set("Default_saver", "Name", "a.scr");
    d.set("Default_saver", "FullPath", "/x/a.scr");
    d.open();
    d.events().textEdited(Scrdefault, "typed.scr");
    d.events().textEdited(Pictdefault, "by hand.png");
    d.click(Command1);
    EXPECT_EQ(d.stored("Default_saver", "Name"), "typed.scr");
    EXPECT_EQ(d.stored("Default_saver", "FullPath"), "/x/a.scr");
    EXPECT_EQ(d.stored("Default_picture", "Name"), "by hand.png");
    EXPECT_EQ(d.stored("Default_picture", "FullPath"), "");
}

TEST(SettingsDialog, CancelAndTheCloseBoxWriteNothing) {
    for (bool closeBox : {false, true}) {
        Dialog d;
        d.set("Default_color", "Time", "49152");
        d.open();
        auto before = d.platform.store;
        d.platform.colourAnswers.push_back(rgb(1, 2, 3));
        d.click(TextcolorTime);
        d.platform.fileAnswers.push_back(platform::FileChoice{"/s/b.scr", "b.scr"});
        d.click(Command2);
        d.events().textEdited(Pictdefault, "typed.jpg");
        if (closeBox) {
            d.events().closeRequested();
            d.platform.runPosted();
        } else {
            d.click(Command3);
        }
        EXPECT_EQ(d.platform.store, before) << closeBox;
        EXPECT_TRUE(d.platform.calls("SaveSetting").empty()) << closeBox;
        EXPECT_EQ(d.closed, 1) << closeBox;
        EXPECT_EQ(d.platform.window("SettingsForm"), nullptr) << closeBox;
    }
}

TEST(SettingsDialog, ClosesOnceWhateverArrivesAfterwards) {
    Dialog d;
    d.open();
    d.events().clicked(Command3);
    d.events().clicked(Command1);  // already on its way out
    d.events().closeRequested();
    d.platform.runPosted();
    EXPECT_TRUE(d.platform.calls("SaveSetting").empty());
    EXPECT_EQ(d.closed, 1);
}

TEST(SettingsDialog, ADialogGoneBeforeItsCloseRanLeavesNothingBehind) {
    Dialog d;
    d.open();
    d.events().clicked(Command3);
    d.dialog.reset();
    d.platform.runPosted();
    EXPECT_EQ(d.closed, 0);
    EXPECT_TRUE(d.platform.windows.empty());
}

// A store that fails from its n-th write on.
struct FailingStore final : platform::SettingsStore {
    FakePlatform& p;
    int writesLeft;
    FailingStore(FakePlatform& p, int n) : p(p), writesLeft(n) {}
    std::string read(const std::string& a, const std::string& s, const std::string& k,
                     const std::string& d) override {
        return p.read(a, s, k, d);
    }
    void write(const std::string& a, const std::string& s, const std::string& k,
               const std::string& v) override {
        if (writesLeft-- <= 0) throw Failure(ErrorCode::PermissionDenied, "Permission denied");
        p.write(a, s, k, v);
    }
};

TEST(SettingsDialog, AFailingWriteOnOkIsReportedAndKeepsWhatWasWritten) {
    FakePlatform p;
    FailingStore store(p, 2);
    Dialog d(platform::Services{p, p, p, store, p, p, p});
    d.dialog = std::make_unique<dialog::SettingsDialog>(d.services, [&] { ++d.closed; });
    d.dialog->load();
    d.dialog->clicked(Command1);
    p.runPosted();
    EXPECT_EQ(p.calls("SaveSetting").size(), 2u);
    EXPECT_EQ(p.fatals, Lines{"Permission denied"});
    EXPECT_EQ(d.closed, 0);
}

// --- the choosers ---

TEST(SettingsDialog, SelectAsksForAFileOfItsKindStartingFromTheCurrentChoice) {
    struct Case {
        int button;
        int nameBox;
        const char* section;
        const char* description;
        const char* pattern;
    } cases[] = {
        {Command2, Scrdefault, "Default_saver", "Screen Saver File(*.scr)", "*.scr"},
        {Command5, Pictdefault, "Default_picture",
         "Picture File(*.gif,*.jpg,*.bmp,*.wmf,*.rle,*.emf)",
         "*.gif;*.jpg;*.bmp;*.wmf;*.rle;*.emf"},
    };
    for (const auto& c : cases) {
        Dialog d;
        d.set(c.section, "Name", "old name");
        d.set(c.section, "FullPath", "/old/old name");
        d.open();
        d.platform.fileAnswers.push_back(platform::FileChoice{"/new/folder/new.file", "new.file"});
        d.click(c.button);
        ASSERT_EQ(d.platform.fileRequests.size(), 1u) << c.section;
        const auto& request = d.platform.fileRequests[0];
        ASSERT_EQ(request.filters.size(), 2u) << c.section;
        EXPECT_EQ(request.filters[0].description, "All Files (*.*)");
        EXPECT_EQ(request.filters[0].pattern, "*.*");
        EXPECT_EQ(request.filters[1].description, c.description);
        EXPECT_EQ(request.filters[1].pattern, c.pattern);
        EXPECT_EQ(request.selectedFilter, 2);
        EXPECT_EQ(request.initialFolder, "/old/old name");
        EXPECT_EQ(request.initialName, "old name");
        EXPECT_TRUE(request.hideReadOnly);
        EXPECT_EQ(d.form()[c.nameBox].text, "new.file");
        EXPECT_TRUE(d.platform.calls("SaveSetting").empty());

        // The next request starts from the new choice; "OK" stores the pair.
        d.events().textEdited(c.nameBox, "edited");
        d.click(c.button);
        EXPECT_EQ(d.platform.fileRequests[1].initialFolder, "/new/folder/new.file");
        EXPECT_EQ(d.platform.fileRequests[1].initialName, "edited");
        d.click(Command1);
        EXPECT_EQ(d.stored(c.section, "Name"), "edited");
        EXPECT_EQ(d.stored(c.section, "FullPath"), "/new/folder/new.file");
    }
}

TEST(SettingsDialog, SetColorOpensOnItsSwatchAndChangesOnlyThatRow) {
    Dialog d;
    d.set("Default_color", "Artist", "12345");
    d.open();
    const int artistRow = 3;
    d.platform.colourAnswers.push_back(rgb(200, 100, 50));
    d.click(buttonOfRow(artistRow));
    ASSERT_EQ(d.platform.colourRequests.size(), 1u);
    EXPECT_EQ(d.platform.colourRequests[0], (std::pair<Colour, bool>{12345, true}));
    for (int row = 0; row < kColourRows; ++row)
        EXPECT_EQ(d.swatch(row),
                  row == artistRow ? rgb(200, 100, 50) : display::designColour(kColourKeys[row]))
            << row;
    EXPECT_TRUE(d.platform.calls("SaveSetting").empty());

    // Every row opens the chooser on its own colour.
    for (int row = 0; row < kColourRows; ++row) {
        d.click(buttonOfRow(row));
        EXPECT_EQ(d.platform.colourRequests.back().first, d.swatch(row)) << row;
    }
    d.click(Command1);
    EXPECT_EQ(d.stored("Default_color", "Artist"), std::to_string(rgb(200, 100, 50)));
}

// Choosers that fail outright, as a broken platform dialog would.
struct BrokenChoosers final : platform::Choosers {
    std::optional<platform::FileChoice> chooseFile(const platform::FileRequest&) override {
        throw Failure(ErrorCode::InvalidProcedureCall, "no file chooser");
    }
    std::optional<Colour> chooseColour(Colour, platform::ColourOptions) override {
        throw Failure(ErrorCode::InvalidProcedureCall, "no colour chooser");
    }
};

TEST(SettingsDialog, ACancelledOrFailedChooserChangesNothing) {
    BrokenChoosers broken;
    for (bool cancel : {true, false}) {
        // The fake's own choosers answer a cancel when no answer is queued.
        auto dialog = cancel ? std::make_unique<Dialog>() : std::make_unique<Dialog>(broken);
        Dialog& d = *dialog;
        d.set("Default_saver", "Name", "a.scr");
        d.set("Default_saver", "FullPath", "/x/a.scr");
        d.set("Default_picture", "Name", "p.jpg");
        d.set("Default_picture", "FullPath", "/x/p.jpg");
        for (int row = 0; row < kColourRows; ++row)
            d.set("Default_color", kColourKeys[row], std::to_string(777 + row));
        d.open();
        auto before = d.platform.store;
        d.click(Command2);
        d.click(Command5);
        for (int row = 0; row < kColourRows; ++row) d.click(buttonOfRow(row));
        EXPECT_TRUE(d.platform.fatals.empty()) << cancel;
        EXPECT_EQ(d.form()[Scrdefault].text, "a.scr") << cancel;
        EXPECT_EQ(d.form()[Pictdefault].text, "p.jpg") << cancel;
        EXPECT_EQ(d.dialog->saverFullPath(), "/x/a.scr") << cancel;
        EXPECT_EQ(d.swatch(0), 777) << cancel;
        EXPECT_EQ(d.closed, 0) << cancel;
        d.click(Command1);
        EXPECT_EQ(d.platform.store, before) << cancel;
    }
}

TEST(FileFilters, PairsOfDescriptionAndPattern) {
    struct Case {
        const char* text;
        std::vector<std::pair<std::string, std::string>> filters;
    } cases[] = {
        {"All (*.*)|*.*|Text|*.txt", {{"All (*.*)", "*.*"}, {"Text", "*.txt"}}},
        {"Only", {{"Only", ""}}},
        {"", {{"", ""}}},
        {"A|*.a|B", {{"A", "*.a"}, {"B", ""}}},
        {"A||B|*.b", {{"A", ""}, {"B", "*.b"}}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<std::string, std::string>> got;
        for (const auto& f : fileFilters(c.text)) got.emplace_back(f.description, f.pattern);
        EXPECT_EQ(got, c.filters) << c.text;
    }
}

}  // namespace
}  // namespace velmora::dialog
