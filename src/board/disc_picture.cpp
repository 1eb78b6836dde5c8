// SPDX-License-Identifier: MIT
#include "board/disc_picture.h"

#include <utility>

#include "display/board_design.h"
#include "settings/chosen_file.h"

namespace velmora::board {

void DiscPicture::show(const std::string& own) {
    // The same track announced again keeps the decode already under way.
    if (decoding_ && role_ == Role::Own && path_ == own) return;
    stop();
    if (own.empty())
        showDefault(false);
    else
        request(own, Role::Own);
}

void DiscPicture::stop() {
    request_.reset();
    decoding_ = false;
    if (retryTimer_) retryTimer_->setEnabled(false);
}

void DiscPicture::request(std::string path, Role role) {
    path_ = std::move(path);
    role_ = role;
    retries_ = 0;
    start();
}

void DiscPicture::start() {
    decoding_ = true;
    // The request is ours: once it is released its answer never comes, so `this` is still here.
    request_ = board_.services().pictures.load(
        path_, [this](platform::PictureResult result) { done(std::move(result)); });
}

void DiscPicture::done(platform::PictureResult result) {
    decoding_ = false;
    if (board_.unloaded()) return;
    if (!result.failure) {
        setPicture(std::move(result.picture));
    } else if (result.failure->code() == ErrorCode::PermissionDenied && retries_ < kMaxRetries) {
        ++retries_;
        if (retryTimer_)
            retryTimer_->setEnabled(true);
        else
            retryTimer_ = board_.services().timers.createTimer(kRetryDelay, true, [this] {
                retryTimer_->setEnabled(false);
                start();
            });
    } else if (role_ == Role::Own) {
        showDefault(true);
    } else {
        setPicture(nullptr);
    }
}

// The default picture's name and path are read afresh each time. With no name, a track without a
// picture keeps the box as it is, and one whose picture failed clears it: the previous track's
// cover never stays beside a new track.
void DiscPicture::showDefault(bool instead) {
    settings::ChosenFile chosen(board_.services().settings, settings::kPictureSection);
    if (chosen.name().empty()) {
        if (instead) setPicture(nullptr);
    } else if (chosen.fullPath().empty()) {
        setPicture(nullptr);
    } else {
        request(chosen.fullPath(), Role::Default);
    }
}

void DiscPicture::setPicture(PictureRef picture) {
    board_.form().setPicture(display::CDImage, std::move(picture));
}

}  // namespace velmora::board
