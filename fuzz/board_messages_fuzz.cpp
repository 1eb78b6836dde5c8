// SPDX-License-Identifier: MIT
// The running board fed by a jukebox service: the input is what the service writes after its
// greeting, through the link's socket into the board's message handling, on the fake platform.
//
// Each NUL byte ends a read (it is delivered too) and lets 5 s of fake time pass, so retries and
// the notify timer run. Then the mouse ends the run. Nothing may end the program with an error,
// the board keeps at most seven log lines, every line the board writes is a valid line, and every
// name fitted into its field fits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "board/message_handler.h"
#include "fake/fake_platform.h"
#include "velmora/link_protocol.h"
#include "link/socket_link.h"
#include "shell/application.h"

using namespace velmora;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

void checkWritten(std::string_view written) {
    for (auto end = written.find('\n'); end != std::string_view::npos; end = written.find('\n')) {
        const std::string_view line = written.substr(0, end);
        written.remove_prefix(end + 1);
        check(line.size() <= link::kMaxLineBytes &&
              link::parseClientLine(line).kind != link::Line::Kind::Invalid);
    }
    check(written.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake::FakePlatform platform;
    platform.commandLineText = "/S";
    // Covers that load, one that is refused a few times (retried), one that is not a picture.
    platform.pictures = {"/covers/a.jpg", "/covers/busy.jpg", "/covers/default.png"};
    platform.pictureFailures["/covers/busy.jpg"].assign(4, ErrorCode::PermissionDenied);
    platform.pictureFailures["/covers/bad.jpg"].assign(1000, ErrorCode::InvalidPicture);
    platform.write("Velmora2000", "Default_picture", "Name", "default.png");
    platform.write("Velmora2000", "Default_picture", "FullPath", "/covers/default.png");
    platform::Services services = platform.services();
    link::SocketLinkFactory links{services, board::newerTimeCode};
    shell::Application app{services, links};
    app.start();
    check(platform.sockets.size() == 1);
    fake::FakeSocket& socket = *platform.sockets[0];
    socket.acceptConnection();
    socket.deliver("VELMORA-LINK 1 fuzz\n");

    std::string_view stream(reinterpret_cast<const char*>(data), size);
    while (!stream.empty()) {
        const std::size_t nul = stream.find('\0');
        const std::size_t read = nul == std::string_view::npos ? stream.size() : nul + 1;
        socket.deliver(stream.substr(0, read));
        stream.remove_prefix(read);
        platform.runPosted();
        if (nul != std::string_view::npos) platform.advance(5000);
    }
    platform.advance(60000);

    fake::FakeWindow* window = platform.window("Velmora");
    check(window != nullptr && window->form[window->form.find("List1")].items.size() <= 7);
    // A name too wide is drawn within its field, or as "…" alone, never below 60 % of its size.
    for (int i = 0; i < window->form.count(); ++i) {
        const Control& c = window->form[i];
        if (!c.fitted) continue;
        check(c.fitted->size >= c.font.size * 0.59f);
        check(platform.textWidth(c.drawnFont(), c.drawnText()) <= c.width ||
              c.drawnText() == "\u2026");
    }
    checkWritten(socket.written);
    window->events.mouseDown(1, 0, 0, 0);
    platform.runPosted();
    check(platform.fatals.empty() && platform.quitCalled);
    return 0;
}
