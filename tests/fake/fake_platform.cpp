// SPDX-License-Identifier: MIT
#include "fake/fake_platform.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace velmora::fake {

namespace {
template <class T>
void forget(std::vector<T*>& list, T* item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}
}  // namespace

// --- windows ---

FakeWindow::FakeWindow(FakePlatform& platform, Form& f, platform::WindowEvents& e)
    : form(f), events(e), platform_(platform) {
    platform_.windows.push_back(this);
    platform_.record("CreateWindow(" + form.name + ")");
}

FakeWindow::~FakeWindow() {
    platform_.record("DestroyWindow(" + form.name + ")");
    forget(platform_.windows, this);
}

void FakeWindow::placeTopmost(int x, int y, int width, int height) {
    shown = true;
    topmost = true;
    placement = PixelRect{x, y, x + width, y + height};
    platform_.record("SetWindowPos(" + form.name + ",HWND_TOPMOST," + std::to_string(x) + "," +
                     std::to_string(y) + "," + std::to_string(width) + "," +
                     std::to_string(height) + ",SWP_SHOWWINDOW)");
}

void FakeWindow::show() {
    shown = true;
    platform_.record("Show(" + form.name + ")");
}

// --- timers ---

FakeTimer::FakeTimer(FakePlatform& platform, int ms, bool enabled, std::function<void()> t)
    : tick(std::move(t)), platform_(platform), interval_(ms), enabled_(enabled) {
    due = platform_.now + interval_;
    platform_.timers.push_back(this);
}

FakeTimer::~FakeTimer() {
    if (platform_.ticking == this) {
        platform_.lifetimeFaults.push_back("a timer released inside its own tick");
        platform_.ticking = nullptr;
    }
    forget(platform_.timers, this);
}

void FakeTimer::setEnabled(bool enabled) {
    if (enabled && !enabled_) due = platform_.now + interval_;
    enabled_ = enabled;
}

void FakeTimer::setInterval(int ms) {
    interval_ = ms;
    due = platform_.now + interval_;
}

// --- sockets ---

FakeSocket::FakeSocket(FakePlatform& platform, platform::SocketEvents& e)
    : events(e), platform_(platform) {
    platform_.sockets.push_back(this);
}

FakeSocket::~FakeSocket() {
    if (platform_.raising == this) {
        platform_.lifetimeFaults.push_back("a socket released inside its own event");
        platform_.raising = nullptr;
    }
    platform_.goneSockets.push_back(written);
    forget(platform_.sockets, this);
}

void FakeSocket::connectTo(const std::string& h, std::uint16_t p) {
    host = h;
    port = p;
    connecting = true;
    open = false;
    ++connectAttempts;
    platform_.record("Connect(" + host + ":" + std::to_string(port) + ")");
}

void FakeSocket::write(std::string_view bytes) {
    written.append(bytes);
}

void FakeSocket::close() {
    connecting = false;
    open = false;
}

void FakeSocket::finish(int timeoutMs) {
    platform_.record("FinishSocket(" + std::to_string(timeoutMs) + ")");
}

void FakeSocket::acceptConnection() {
    connecting = false;
    open = true;
    raise([](platform::SocketEvents& e) { e.connected(); });
}

void FakeSocket::refuse() {
    connecting = false;
    open = false;
    raise([](platform::SocketEvents& e) { e.disconnected(); });
}

void FakeSocket::deliver(std::string_view bytes) {
    raise([bytes](platform::SocketEvents& e) { e.received(bytes); });
}

void FakeSocket::drop() {
    open = false;
    raise([](platform::SocketEvents& e) { e.disconnected(); });
}

// Nothing of this socket is touched after the event: a wrong handler may have destroyed it.
void FakeSocket::raise(const std::function<void(platform::SocketEvents&)>& event) {
    FakePlatform& platform = platform_;
    FakeSocket* const outer = std::exchange(platform.raising, this);
    event(events);
    platform.raising = outer;
}

// --- the platform ---

FakePlatform::FakePlatform() = default;
FakePlatform::~FakePlatform() {
    for (const auto& fault : lifetimeFaults) reportLifetimeFault(fault);
}

platform::Services FakePlatform::services() {
    return platform::Services{*this, *this, *this, *this, *this, *this, *this};
}

std::vector<std::string> FakePlatform::calls(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& line : log)
        if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
    return out;
}

std::unique_ptr<platform::Window> FakePlatform::createWindow(Form& form,
                                                             platform::WindowEvents& events) {
    return std::make_unique<FakeWindow>(*this, form, events);
}

FakeWindow* FakePlatform::window(const std::string& formName) {
    for (FakeWindow* w : windows)
        if (w->form.name == formName) return w;
    return nullptr;
}

PixelRect FakePlatform::desktopRect() {
    record("GetWindowRect(GetDesktopWindow())");
    return desktop;
}

float FakePlatform::textWidth(const Font& font, const std::string& text) {
    const auto codePoints = std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    return font.size * 10 * static_cast<float>(codePoints);
}

void FakePlatform::post(std::function<void()> task) {
    posted.push_back(std::move(task));
}

void FakePlatform::runPosted() {
    while (!posted.empty()) {
        auto task = std::move(posted.front());
        posted.pop_front();
        task();
    }
}

void FakePlatform::quit() {
    quitCalled = true;
    record("Quit");
}

void FakePlatform::reportFatal(const std::string&, const std::string& text) {
    fatals.push_back(text);
    record("Fatal(" + text + ")");
}

std::unique_ptr<platform::Timer> FakePlatform::createTimer(int ms, bool enabled,
                                                           std::function<void()> tick) {
    return std::make_unique<FakeTimer>(*this, ms, enabled, std::move(tick));
}

void FakePlatform::advance(long long ms) {
    const long long end = now + ms;
    for (;;) {
        FakeTimer* next = nullptr;
        for (FakeTimer* t : timers)
            if (t->enabled_ && t->due <= end && (!next || t->due < next->due)) next = t;
        if (!next) break;
        now = next->due;
        next->due = now + std::max(1, next->interval_);
        auto tick = next->tick;  // kept whole even if the tick wrongly destroys its timer
        ticking = next;
        tick();
        ticking = nullptr;
        runPosted();
    }
    now = end;
    runPosted();
}

int FakePlatform::showCursor(bool show) {
    cursorCounter += show ? 1 : -1;
    record(show ? "ShowCursor(TRUE)" : "ShowCursor(FALSE)");
    return cursorCounter;
}

void FakePlatform::setScreenSaverActive(bool active) {
    screenSaverActive = active;
    record(std::string("SystemParametersInfo(SPI_SETSCREENSAVEACTIVE,") + (active ? "1" : "0") +
           ")");
}

std::string FakePlatform::findFirstFile(const std::string& path) {
    record("FindFirstFile(" + path + ")");
    auto it = files.find(path);
    return it == files.end() ? std::string() : it->second;
}

std::unique_ptr<platform::Process> FakePlatform::launch(const std::string& program,
                                                        const std::vector<std::string>& args) {
    std::string line = "Launch(" + program;
    for (const auto& a : args) line += "|" + a;
    record(line + ")");
    if (failLaunch) throw Failure(ErrorCode::FileNotFound, "File not found: " + program);
    auto alive = std::make_shared<bool>(true);
    launches.push_back(Launch{program, args, alive});
    return std::make_unique<FakeProcess>(alive);
}

std::string FakePlatform::read(const std::string& application, const std::string& section,
                               const std::string& key, const std::string& fallback) {
    record("GetSetting(" + application + "," + section + "," + key + "," + fallback + ")");
    auto it = store.find(Key{application, section, key});
    return it == store.end() ? fallback : it->second;
}

void FakePlatform::write(const std::string& application, const std::string& section,
                         const std::string& key, const std::string& value) {
    record("SaveSetting(" + application + "," + section + "," + key + "," + value + ")");
    store[Key{application, section, key}] = value;
}

std::optional<platform::FileChoice> FakePlatform::chooseFile(const platform::FileRequest& request) {
    record("ChooseFile(" + request.initialFolder + "," + request.initialName + ")");
    fileRequests.push_back(request);
    if (fileAnswers.empty()) return std::nullopt;
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

std::optional<Colour> FakePlatform::chooseColour(Colour initial, platform::ColourOptions options) {
    record("ChooseColor(" + std::to_string(initial) + ")");
    colourRequests.emplace_back(initial, options.startOnInitial);
    if (colourAnswers.empty()) return std::nullopt;
    auto answer = colourAnswers.front();
    colourAnswers.pop_front();
    return answer;
}

namespace {
// Cancelled when the core lets go of it; its answer is then never delivered.
class FakePictureRequest final : public platform::PictureRequest {
  public:
    FakePictureRequest(FakePlatform& platform, std::string path, std::shared_ptr<bool> live)
        : platform_(platform), path_(std::move(path)), live_(std::move(live)) {}
    ~FakePictureRequest() override {
        if (*live_) platform_.record("CancelPicture(" + path_ + ")");
        *live_ = false;
    }

  private:
    FakePlatform& platform_;
    std::string path_;
    std::shared_ptr<bool> live_;  // false once answered or cancelled
};
}  // namespace

std::unique_ptr<platform::PictureRequest> FakePlatform::load(const std::string& path, Done done) {
    record("LoadPicture(" + path + ")");
    platform::PictureResult result;
    auto failures = pictureFailures.find(path);
    if (failures != pictureFailures.end() && !failures->second.empty()) {
        result.failure.emplace(failures->second.front(), "Cannot load picture " + path);
        failures->second.pop_front();
    } else if (!path.empty() && !pictures.count(path)) {
        result.failure.emplace(ErrorCode::FileNotFound, "File not found: " + path);
    } else if (!path.empty()) {
        result.picture = std::make_shared<FakePicture>(path);
    }
    auto live = std::make_shared<bool>(true);
    auto answer = [live, done = std::move(done), result = std::move(result)] {
        if (!*live) return;
        *live = false;
        done(result);
    };
    if (holdPictures)
        heldPictures.push_back(std::move(answer));
    else
        post(std::move(answer));
    return std::make_unique<FakePictureRequest>(*this, path, std::move(live));
}

void FakePlatform::finishPictures() {
    auto held = std::move(heldPictures);
    heldPictures.clear();
    for (auto& answer : held) answer();
}

std::unique_ptr<platform::StreamSocket> FakePlatform::createSocket(platform::SocketEvents& events) {
    return std::make_unique<FakeSocket>(*this, events);
}

// --- the link ---

std::int32_t FakeLink::LinkOpen(std::string& endpoint, const std::string& options, std::int32_t a,
                                std::int32_t b, std::int32_t c) {
    platform_.record("LinkOpen(" + endpoint + "," + options + "," + std::to_string(a) + "," +
                     std::to_string(b) + "," + std::to_string(c) + ")");
    return result;
}

std::int32_t FakeLink::LinkSend(std::string& endpoint, const std::string& command) {
    platform_.record("LinkSend(" + endpoint + "," + command + ")");
    if (!sendFailures.empty()) {
        ErrorCode code = sendFailures.front();
        sendFailures.pop_front();
        throw Failure(code, "LinkSend failed");
    }
    return result;
}

std::int32_t FakeLink::LinkClose(std::string& endpoint) {
    platform_.record("LinkClose(" + endpoint + ")");
    return result;
}

std::unique_ptr<link::LinkControl> FakeLinkFactory::createLink() {
    auto link = std::make_unique<FakeLink>(platform_);
    links.push_back(link.get());
    return link;
}

}  // namespace velmora::fake
