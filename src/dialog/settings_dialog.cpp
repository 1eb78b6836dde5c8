// SPDX-License-Identifier: MIT
#include "dialog/settings_dialog.h"

#include "dialog/settings_form.h"
#include "display/board_scaling.h"
#include "settings/chosen_file.h"
#include "settings/colour_text.h"
#include "settings/settings_keys.h"

namespace velmora::dialog {
namespace {

constexpr char kSaverFilter[] = "All Files (*.*)|*.*|Screen Saver File(*.scr)|*.scr";
constexpr char kPictureFilter[] =
    "All Files (*.*)|*.*|Picture File(*.gif,*.jpg,*.bmp,*.wmf,*.rle,*.emf)"
    "|*.gif;*.jpg;*.bmp;*.wmf;*.rle;*.emf";
constexpr int kFileTypeEntry = 2;  // the saver or picture entry, not "All Files"

// The rows in the order the dialog reads them when it opens.
constexpr int kLoadOrder[kColourRows] = {0, 1, 3, 4, 2, 5, 6};

int rowOfButton(int control) {
    return control >= TextcolorTime && control <= TextcolorBackground ? control - TextcolorTime
                                                                      : -1;
}

}  // namespace

std::vector<platform::FileFilter> fileFilters(std::string_view text) {
    std::vector<platform::FileFilter> filters;
    bool description = true;
    while (true) {
        const auto bar = text.find('|');
        const std::string_view part = text.substr(0, bar);
        if (description)
            filters.push_back({std::string(part), ""});
        else
            filters.back().pattern = part;
        description = !description;
        if (bar == std::string_view::npos) break;
        text.remove_prefix(bar + 1);
    }
    return filters;
}

SettingsDialog::SettingsDialog(platform::Services& services, std::function<void()> closed)
    : services_(services), closed_(std::move(closed)), form_(makeSettingsForm()) {
    window_ = services_.ui.createWindow(form_, *this);
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::load() {
    auto& store = services_.settings;
    settings::ChosenFile saver(store, settings::kSaverSection);
    form_.setText(Scrdefault, saver.name());
    saverFullPath_ = saver.fullPath();
    settings::ChosenFile picture(store, settings::kPictureSection);
    form_.setText(Pictdefault, picture.name());
    pictureFullPath_ = picture.fullPath();
    for (int row : kLoadOrder) {
        // An absent colour shows what the board shows for it, so "OK" keeps the board as it is.
        const Colour design = display::designColour(kRowKeys[row]);
        const std::string text = store.read(settings::kApplication, settings::kColourSection,
                                            kRowKeys[row], settings::colourText(design));
        // A text that names no colour shows as black, the dialog's own default.
        form_.setBackColour(swatchOfRow(row), settings::parseColour(text).value_or(0));
    }
}

void SettingsDialog::show() {
    if (window_) window_->show();
}

void SettingsDialog::closeRequested() {
    if (!closing_) close();
}

void SettingsDialog::clicked(int control) {
    if (closing_) return;
    if (control == kOk) {
        guarded([this] { ok(); });
    } else if (control == kCancel) {
        close();
    } else if (control == kSelectSaver) {
        chooseFile(Scrdefault, saverFullPath_, kSaverFilter);
    } else if (control == kSelectPicture) {
        chooseFile(Pictdefault, pictureFullPath_, kPictureFilter);
    } else if (int row = rowOfButton(control); row >= 0) {
        chooseColour(row);
    }
}

void SettingsDialog::textEdited(int control, const std::string& text) {
    if (control == Scrdefault || control == Pictdefault) form_.takeEditedText(control, text);
}

void SettingsDialog::ok() {
    auto& store = services_.settings;
    settings::ChosenFile(store, settings::kSaverSection)
        .write(form_[Scrdefault].text, saverFullPath_);
    settings::ChosenFile(store, settings::kPictureSection)
        .write(form_[Pictdefault].text, pictureFullPath_);
    for (int row = 0; row < kColourRows; ++row)
        store.write(settings::kApplication, settings::kColourSection, kRowKeys[row],
                    settings::colourText(form_[swatchOfRow(row)].backColour));
    close();
}

// A cancel, or any failure of the chooser, ends the action quietly; what changed stays changed.
void SettingsDialog::chooseFile(int nameBox, std::string& fullPath, std::string_view filterText) {
    try {
        platform::FileRequest request;
        request.hideReadOnly = true;
        request.filters = fileFilters(filterText);
        request.selectedFilter = kFileTypeEntry;
        request.initialFolder = fullPath;
        request.initialName = form_[nameBox].text;
        const auto choice = services_.choosers.chooseFile(request);
        if (!choice) return;
        form_.setText(nameBox, choice->title);
        fullPath = choice->fullPath;
    } catch (const std::exception&) {
    }
}

void SettingsDialog::chooseColour(int row) {
    try {
        const int swatch = swatchOfRow(row);
        const auto colour =
            services_.choosers.chooseColour(form_[swatch].backColour, {.startOnInitial = true});
        if (colour) form_.setBackColour(swatch, *colour);
    } catch (const std::exception&) {
    }
}

// The window goes once the current event is over, never under its own handler.
void SettingsDialog::close() {
    closing_ = true;
    services_.ui.post(liveness_.guard([this] {
        window_.reset();
        if (closed_) closed_();
    }));
}

void SettingsDialog::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& failure) {
        services_.ui.reportFatal(settings::kProgramTitle, failure.what());
    }
}

}  // namespace velmora::dialog
