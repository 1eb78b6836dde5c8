// SPDX-License-Identifier: MIT
// A board with its link and message handler on the fake platform, without the window around it.
#pragma once

#include <string>
#include <vector>

#include "board/board_state.h"
#include "board/message_handler.h"
#include "display/board_design.h"
#include "fake/fake_platform.h"
#include "shell/application.h"

namespace velmora::testing {

// Records, in order, which controls had their text or picture set.
struct WriteRecorder final : FormObserver {
    const Form& form;
    std::vector<std::string> writes;
    explicit WriteRecorder(const Form& f) : form(f) {}
    void changed(int control, Property what) override {
        if (what == Property::Text || what == Property::Picture)
            writes.push_back(form[control].name);
    }
};

struct MessageBoard {
    fake::FakePlatform platform;
    platform::Services services = platform.services();
    Form form = display::makeBoard();
    fake::FakeLink link{platform};
    board::BoardState context{services, form, link};
    board::MessageHandler handler{context};
    WriteRecorder recorder{form};

    MessageBoard() {
        platform.commandLineText = "/S";
        link.onLinkMessage([this](std::string& endpoint, std::string& message) {
            handler.handle(endpoint, message);
        });
        form.setObserver(&recorder);
    }

    // The message, then what it posted (a picture's answer among them).
    void deliver(std::string message, std::string endpoint = "cdjr") {
        link.deliver(std::move(endpoint), std::move(message));
        platform.runPosted();
    }
    const std::string& text(display::Id id) const { return form[id].text; }
    const std::vector<std::string>& logLines() const { return form[display::List1].items; }
    // The path of the picture CDImage shows, "" when none.
    std::string picture() const {
        auto* p = dynamic_cast<const fake::FakePicture*>(form[display::CDImage].picture.get());
        return p ? p->path : "";
    }
    std::vector<std::string> sends() const { return platform.calls("LinkSend"); }
};

// The whole now-playing window, started in "/S" mode, with the start-up's calls cleared from the
// log.
struct RunningBoard {
    fake::FakePlatform platform;
    fake::FakeLinkFactory links{platform};
    platform::Services services = platform.services();
    shell::Application app{services, links};

    RunningBoard() {
        platform.commandLineText = "/S";
        app.start();
        platform.runPosted();
        platform.log.clear();
    }
    void deliver(std::string message, std::string endpoint = "cdjr") {
        links.links[0]->deliver(std::move(endpoint), std::move(message));
        platform.runPosted();
    }
};

// A "playing" message with the fields in the order the jukebox sends them.
inline std::string playing(const std::string& album, const std::string& artist,
                           const std::string& title, const std::string& total,
                           const std::string& picture, const std::string& sixth = "7") {
    return "playing[\"" + album + "\",\"" + artist + "\",\"" + title + "\",\"" + total + "\",\"" +
           picture + "\",\"" + sixth + "\",\"\"]";
}

// A "playlist_item" message; field 0 is the entry's number.
inline std::string item(const std::string& album, const std::string& artist,
                        const std::string& title, const std::string& marker) {
    return "playlist_item[\"3\",\"" + album + "\",\"" + artist + "\",\"" + title +
           "\",\"4:00\",\"c.jpg\",\"x\",\"" + marker + "\"]";
}

}  // namespace velmora::testing
