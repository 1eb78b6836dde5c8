// SPDX-License-Identifier: MIT
// The file-open and colour choosers, modal, on QFileDialog and QColorDialog.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

#include "platform/services.h"

namespace velmora::qt {

class QtChoosers final : public platform::Choosers {
  public:
    std::optional<platform::FileChoice> chooseFile(const platform::FileRequest& request) override;
    std::optional<Colour> chooseColour(Colour initial, platform::ColourOptions options) override;
};

// Each filter in Qt's form "description (*.a *.b)", the description kept as given.
QStringList nameFilters(const std::vector<platform::FileFilter>& filters);

// Where the file chooser opens and which name it shows.
struct ChooserStart {
    QString folder;  // empty: the chooser's own default
    QString file;
};
ChooserStart chooserStart(const std::string& initialFolder, const std::string& initialName);

// The core's 0x00BBGGRR as the chooser's colour, and back.
QColor qColourOf(Colour colour);
Colour colourOf(const QColor& colour);

}  // namespace velmora::qt
