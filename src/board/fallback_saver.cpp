// SPDX-License-Identifier: MIT
#include "board/fallback_saver.h"

#include <string>

#include "settings/chosen_file.h"

namespace velmora::board {

FallbackSaver::~FallbackSaver() = default;

void FallbackSaver::launch() {
    settings::ChosenFile saver(services_.settings, settings::kSaverSection);
    const std::string& fullPath = saver.fullPath();
    const std::string& name = saver.name();
    const std::string found = services_.system.findFirstFile(fullPath);
    if (found != name || name.empty() || fullPath.empty()) return;
    if (running_ && running_->running()) return;
    // The path goes to the system as the program itself, so spaces or shell characters in it name
    // that file and nothing else. A saver that cannot start is tried again at the next tick rather
    // than ending the board.
    try {
        running_ = services_.system.launch(fullPath, {"/S"});
    } catch (const Failure&) {
        running_.reset();
    }
}

}  // namespace velmora::board
