// SPDX-License-Identifier: MIT
// The seam between the portable core and a platform backend: the small services the program needs
// from the outside world. The core calls these; a backend calls back through WindowEvents,
// SocketEvents and the callbacks it was handed. Everything runs on the one UI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/form.h"
#include "platform/types.h"

namespace velmora::platform {

// What a native window forwards to the core. Positions are twips in the window's client area.
class WindowEvents {
  public:
    virtual ~WindowEvents() = default;
    virtual void mouseDown(int button, int shift, float x, float y) = 0;
    virtual void mouseMove(int button, int shift, float x, float y) = 0;
    virtual void closeRequested() = 0;  // the close box, or the desktop closing the window
    virtual void clicked(int control) = 0;
    virtual void textEdited(int control, const std::string& text) = 0;
    // The screen-saver host's window the form covers changed size (Ui::desktopRect tells it).
    virtual void hostResized() {}
};

// A native window showing a Form. Destroying the object destroys the window.
class Window {
  public:
    virtual ~Window() = default;
    // SetWindowPos(HWND_TOPMOST, x, y, width, height, SWP_SHOWWINDOW); pixels.
    virtual void placeTopmost(int x, int y, int width, int height) = 0;
    // Shows the window modeless and without an owner, focus on the first tab stop.
    virtual void show() = 0;
};

class Ui {
  public:
    virtual ~Ui() = default;
    // The window starts hidden, with every control in the form's current state.
    virtual std::unique_ptr<Window> createWindow(Form& form, WindowEvents& events) = 0;
    virtual TwipSize screenSize() = 0;  // the primary display, in twips
    virtual PixelRect desktopRect() = 0;
    // The width of text drawn on one line in font (name, size and weight), in twips.
    virtual float textWidth(const Font& font, const std::string& text) = 0;
    // Runs task on the UI thread after the current event has been handled.
    virtual void post(std::function<void()> task) = 0;
    // No window of the program is left: end the event loop.
    virtual void quit() = 0;
    // A failure nobody trapped: tell the user in a box under the caption and end the program.
    virtual void reportFatal(const std::string& caption, const std::string& text) = 0;
    // The board runs inside a window a screen-saver host gave it (XScreenSaver): screenSize and
    // desktopRect are that window's, and the host owns the pointer, input and idle.
    virtual bool inHostWindow() { return false; }
};

class Timer {
  public:
    virtual ~Timer() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    virtual void setInterval(int milliseconds) = 0;
};

class Timers {
  public:
    virtual ~Timers() = default;
    virtual std::unique_ptr<Timer> createTimer(int milliseconds, bool enabled,
                                               std::function<void()> tick) = 0;
};

// A program launched without waiting for it.
class Process {
  public:
    virtual ~Process() = default;
    virtual bool running() = 0;
};

class System {
  public:
    virtual ~System() = default;
    // Windows' ShowCursor: lowers (hide) or raises (show) the display counter, returns the new
    // value.
    virtual int showCursor(bool show) = 0;
    // SystemParametersInfo(SPI_SETSCREENSAVEACTIVE, active, nullptr, 0).
    virtual void setScreenSaverActive(bool active) = 0;
    // The command line after the program's name.
    virtual std::string commandLine() = 0;
    // Name, without folder, of the first ordinary file the path (wildcards allowed) names, or "".
    virtual std::string findFirstFile(const std::string& path) = 0;
    // Starts program with args, no shell, as a normal window with focus. Throws Failure.
    virtual std::unique_ptr<Process> launch(const std::string& program,
                                            const std::vector<std::string>& args) = 0;
};

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual std::string read(const std::string& application, const std::string& section,
                             const std::string& key, const std::string& fallback) = 0;
    virtual void write(const std::string& application, const std::string& section,
                       const std::string& key, const std::string& value) = 0;
};

struct FileFilter {
    std::string description;
    std::string pattern;  // "*.gif;*.jpg"
};

struct FileRequest {
    std::vector<FileFilter> filters;
    int selectedFilter = 1;     // counts from 1
    std::string initialFolder;  // may name a file: then open in its folder with it selected
    std::string initialName;
    bool hideReadOnly = false;  // no "open as read-only" choice: the program only reads the name
};

struct ColourOptions {
    bool startOnInitial = false;  // the chooser opens with the initial colour selected
};

struct FileChoice {
    std::string fullPath;
    std::string title;  // name without folder
};

class Choosers {
  public:
    virtual ~Choosers() = default;
    // Modal; nullopt when the user cancelled.
    virtual std::optional<FileChoice> chooseFile(const FileRequest& request) = 0;
    virtual std::optional<Colour> chooseColour(Colour initial, ColourOptions options) = 0;
};

// What a picture request ends with: the picture (none for the empty path), or why there is none
// (FileNotFound, PermissionDenied, InvalidPicture).
struct PictureResult {
    PictureRef picture;
    std::optional<Failure> failure;
};

// A picture being decoded. Destroying it cancels the decode: its completion never runs after.
class PictureRequest {
  public:
    virtual ~PictureRequest() = default;
};

class Pictures {
  public:
    virtual ~Pictures() = default;
    using Done = std::function<void(PictureResult)>;
    // Decodes the file off the UI thread's time (a cover may take seconds); done runs later on the
    // UI thread, never inside this call.
    virtual std::unique_ptr<PictureRequest> load(const std::string& path, Done done) = 0;
};

class SocketEvents {
  public:
    virtual ~SocketEvents() = default;
    virtual void connected() = 0;
    virtual void received(std::string_view bytes) = 0;
    // The connection failed or ended; the socket may be connected again.
    virtual void disconnected() = 0;
};

// A non-blocking TCP stream. Events arrive later on the UI thread, never inside these calls.
class StreamSocket {
  public:
    virtual ~StreamSocket() = default;
    virtual void connectTo(const std::string& host, std::uint16_t port) = 0;
    virtual void write(std::string_view bytes) = 0;
    virtual std::size_t pendingBytes() const = 0;  // written but not yet taken by the system
    virtual void close() = 0;
    // On the way out: waits at most timeoutMs for a pending connect and for the writes to leave.
    virtual void finish(int timeoutMs) = 0;
};

class Network {
  public:
    virtual ~Network() = default;
    virtual std::unique_ptr<StreamSocket> createSocket(SocketEvents& events) = 0;
};

// Everything a backend hands the core.
struct Services {
    Ui& ui;
    Timers& timers;
    System& system;
    SettingsStore& settings;
    Choosers& choosers;
    Pictures& pictures;
    Network& network;
};

}  // namespace velmora::platform
