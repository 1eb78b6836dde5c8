// The main window's state that its handlers share.
#pragma once

#include <cstdint>
#include <string>

#include "link/link_control.h"
#include "platform/form.h"
#include "platform/services.h"

namespace velmora::board {

struct BoardState {
    BoardState(platform::Services& s, Form& f, link::LinkControl& link)
        : services(s), form(f), slinkx(link) {}

    platform::Services& services;
    Form& form;                     // the board
    link::LinkControl& slinkx;            // the one link instance in use
    std::string txEndpoint;         // every command goes out here
    std::string rxEndpoint;         // the jukebox's messages come in here
    std::int16_t echoReceived = 0;  // -1 once "echo[cdjon]" came back
    std::int16_t lastResult = 0;
    PixelRect desktopRect;
    bool unloaded = false;
    bool messagesHeld = false;  // a link message waits to retry a step; the conversation pauses

    // Sends a command through txEndpoint; the result is narrowed into lastResult.
    void send(const std::string& command) {
        lastResult = toInt16(slinkx.LinkSend(txEndpoint, command));
    }
};

}  // namespace velmora::board
