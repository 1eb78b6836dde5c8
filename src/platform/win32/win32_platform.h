// SPDX-License-Identifier: MIT
// Everything the Win32 backend hands the core, created once in WinMain.
#pragma once

#include "platform/services.h"
#include "platform/win32/ole_pictures.h"
#include "platform/win32/registry_store.h"
#include "platform/win32/win32_choosers.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_ui.h"
#include "platform/win32/winsock_network.h"

namespace velmora::win32 {

// Checklist: windows for the core's forms (labels, text fields, edit boxes, a stretching picture
// box, list boxes, buttons, frames, swatches), timers, posted tasks, the message box, the pointer,
// screen-saver activation, the command line, directory lookup, launch, the registry store, the
// file and colour choosers, OLE pictures and Winsock streams. Not here: the preview drawn into the
// window handle after "/P" (the program draws no preview).
class Win32Platform {
  public:
    explicit Win32Platform(HINSTANCE instance);
    ~Win32Platform();
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    platform::Services services() {
        return platform::Services{ui_, ui_, system_, store_, choosers_, pictures_, network_};
    }
    Win32Ui& ui() { return ui_; }

  private:
    struct Ole {
        Ole();
        ~Ole();
    } ole_;  // first in, last out: pictures and choosers need it
    Win32Ui ui_;
    Win32System system_;
    RegistryStore store_;
    Win32Choosers choosers_;
    OlePictures pictures_;
    WinsockNetwork network_;
};

}  // namespace velmora::win32
