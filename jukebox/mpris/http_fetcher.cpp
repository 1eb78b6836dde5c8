// SPDX-License-Identifier: MIT
#include "mpris/http_fetcher.h"

#include <dlfcn.h>

#include <exception>
#include <type_traits>

#include <curl/curl.h>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/post.hpp>

namespace velmora::jukebox::mpris {

// libcurl and the TLS libraries under it make some 6 MB resident: they are loaded at the first
// cover over HTTP, not with the service. Never unloaded: TLS libraries keep exit handlers.
struct HttpFetcher::Curl {
    decltype(&::curl_global_init) global_init = nullptr;
    decltype(&::curl_multi_init) multi_init = nullptr;
    decltype(&::curl_multi_setopt) multi_setopt = nullptr;
    decltype(&::curl_multi_cleanup) multi_cleanup = nullptr;
    decltype(&::curl_multi_add_handle) multi_add_handle = nullptr;
    decltype(&::curl_multi_remove_handle) multi_remove_handle = nullptr;
    decltype(&::curl_multi_socket_action) multi_socket_action = nullptr;
    decltype(&::curl_multi_info_read) multi_info_read = nullptr;
    decltype(&::curl_easy_init) easy_init = nullptr;
    decltype(&::curl_easy_setopt) easy_setopt = nullptr;
    decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&::curl_version_info) version_info = nullptr;

    // False without the library or any of its functions.
    bool load() {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        const auto bind = [library](auto& function, const char* name) {
            function =
                reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
            return function != nullptr;
        };
        return library && bind(global_init, "curl_global_init") &&
               bind(multi_init, "curl_multi_init") && bind(multi_setopt, "curl_multi_setopt") &&
               bind(multi_cleanup, "curl_multi_cleanup") &&
               bind(multi_add_handle, "curl_multi_add_handle") &&
               bind(multi_remove_handle, "curl_multi_remove_handle") &&
               bind(multi_socket_action, "curl_multi_socket_action") &&
               bind(multi_info_read, "curl_multi_info_read") && bind(easy_init, "curl_easy_init") &&
               bind(easy_setopt, "curl_easy_setopt") && bind(easy_cleanup, "curl_easy_cleanup") &&
               bind(version_info, "curl_version_info");
    }
};

namespace {

std::string versionText(unsigned version) {
    return std::to_string((version >> 16) & 0xFF) + "." + std::to_string((version >> 8) & 0xFF) +
           "." + std::to_string(version & 0xFF);
}

}  // namespace

struct HttpFetcher::Transfer {
    CURL* easy = nullptr;
    std::string body;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
    Done done;
};

struct HttpFetcher::Socket {
    explicit Socket(asio::io_context& io, int fd) : descriptor(io, fd), fd(fd) {}
    asio::posix::stream_descriptor descriptor;
    int fd;
    int what = 0;
    bool reading = false;
    bool writing = false;
    bool gone = false;
};

// What curl calls, in the types it calls them with. Nothing thrown may pass through curl's C
// frames: a callback that cannot finish (out of memory) fails its transfer, or all of them.
struct CurlCallbacks {
    static std::size_t data(char* data, std::size_t size, std::size_t count,
                            void* userdata) noexcept {
        auto& transfer = *static_cast<HttpFetcher::Transfer*>(userdata);
        const std::size_t bytes = size * count;
        if (transfer.body.size() + bytes > transfer.maxBytes) {
            transfer.tooLarge = true;
            return 0;  // ends the transfer
        }
        try {
            transfer.body.append(data, bytes);
        } catch (const std::exception&) {
            return 0;
        }
        return bytes;
    }
    static int socket(CURL*, curl_socket_t fd, int what, void* self, void*) noexcept {
        try {
            static_cast<HttpFetcher*>(self)->socketChanged(fd, what);
        } catch (const std::exception&) {
            return -1;
        }
        return 0;
    }
    static int timer(CURLM*, long milliseconds, void* self) noexcept {
        try {
            static_cast<HttpFetcher*>(self)->timerChanged(milliseconds);
        } catch (const std::exception&) {
            return -1;
        }
        return 0;
    }
};

HttpFetcher::HttpFetcher(asio::io_context& io, std::size_t maxBytes,
                         std::chrono::milliseconds maxTime, Log log,
                         std::optional<unsigned> libraryVersion)
    : io_(io),
      maxBytes_(maxBytes),
      maxTime_(maxTime),
      curl_(std::make_unique<Curl>()),
      multi_(nullptr),
      timer_(io) {
    const std::string why = start(libraryVersion);
    if (!why.empty() && log) log(why);
}

std::string HttpFetcher::start(std::optional<unsigned> libraryVersion) {
    if (!curl_->load()) return "no libcurl (libcurl.so.4): no covers over HTTP";
    if (!libraryVersion) {
        const curl_version_info_data* info = curl_->version_info(CURLVERSION_NOW);
        libraryVersion = info ? info->version_num : 0;
    }
    if (*libraryVersion < kOldestCurl)
        return "libcurl " + versionText(*libraryVersion) + " is older than " +
               versionText(kOldestCurl) +
               ", which covers over HTTP need (CURLOPT_PROTOCOLS_STR): none are fetched";
    if (curl_->global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK || !(multi_ = curl_->multi_init()))
        return "libcurl did not start: no covers over HTTP";
    curl_->multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlCallbacks::socket);
    curl_->multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
    curl_->multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlCallbacks::timer);
    curl_->multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
    return {};
}

HttpFetcher::~HttpFetcher() {
    cancel();
    if (multi_) curl_->multi_cleanup(multi_);
}

void HttpFetcher::cancel() {
    ++cancels_;
    for (auto& [easy, transfer] : transfers_) {
        curl_->multi_remove_handle(multi_, easy);
        curl_->easy_cleanup(easy);
    }
    transfers_.clear();
    for (auto& [fd, socket] : sockets_) {
        socket->gone = true;
        socket->descriptor.release();  // curl closes its sockets
    }
    sockets_.clear();
    timer_.cancel();
}

void HttpFetcher::get(const std::string& url, Done done) {
    auto transfer = std::make_unique<Transfer>();
    transfer->maxBytes = maxBytes_;
    transfer->done = std::move(done);
    CURL* easy = multi_ ? curl_->easy_init() : nullptr;
    const auto fail = [&] {
        if (easy) curl_->easy_cleanup(easy);
        failLater(std::move(transfer->done));
    };
    if (!easy) return fail();
    transfer->easy = easy;
    const long milliseconds = static_cast<long>(maxTime_.count());
    const bool set =
        curl_->easy_setopt(easy, CURLOPT_URL, url.c_str()) == CURLE_OK &&
        curl_->easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_->easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_->easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
        curl_->easy_setopt(easy, CURLOPT_MAXREDIRS, 5L) == CURLE_OK &&
        curl_->easy_setopt(easy, CURLOPT_TIMEOUT_MS, milliseconds) == CURLE_OK &&
        curl_->easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maxBytes_)) == CURLE_OK &&
        curl_->easy_setopt(easy, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
        curl_->easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_->easy_setopt(easy, CURLOPT_USERAGENT, "velmora-jukebox") == CURLE_OK &&
        curl_->easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlCallbacks::data) == CURLE_OK &&
        curl_->easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get()) == CURLE_OK;
    if (!set || curl_->multi_add_handle(multi_, easy) != CURLM_OK) return fail();
    transfers_.emplace(easy, std::move(transfer));
}

void HttpFetcher::socketChanged(int fd, int what) {
    const auto known = sockets_.find(fd);
    if (what == CURL_POLL_REMOVE) {
        if (known != sockets_.end()) {
            known->second->gone = true;
            known->second->descriptor.release();  // curl closes it
            sockets_.erase(known);
        }
        return;
    }
    std::shared_ptr<Socket> socket;
    if (known != sockets_.end()) {
        socket = known->second;
    } else {
        socket = std::make_shared<Socket>(io_, fd);
        sockets_.emplace(fd, socket);
    }
    socket->what = what;
    watch(socket);
}

void HttpFetcher::timerChanged(long milliseconds) {
    if (milliseconds < 0) {
        timer_.cancel();
        return;
    }
    // Never from within curl's own call: the loop acts on it.
    timer_.expires_after(std::chrono::milliseconds(milliseconds));
    timer_.async_wait([this, alive = liveness_.watch()](const std::error_code& error) {
        if (!alive.alive() || error) return;
        act(CURL_SOCKET_TIMEOUT, 0);
    });
}

void HttpFetcher::watch(const std::shared_ptr<Socket>& socket) {
    const auto wait = [this, socket](asio::posix::stream_descriptor::wait_type type, bool& busy,
                                     int event) {
        busy = true;
        socket->descriptor.async_wait(type, [this, socket, &busy, event, alive = liveness_.watch()](
                                                const std::error_code& error) {
            if (!alive.alive()) return;
            busy = false;
            if (error || socket->gone) return;
            act(socket->fd, event);
            if (!socket->gone) watch(socket);
        });
    };
    if ((socket->what & CURL_POLL_IN) && !socket->reading)
        wait(asio::posix::stream_descriptor::wait_read, socket->reading, CURL_CSELECT_IN);
    if ((socket->what & CURL_POLL_OUT) && !socket->writing)
        wait(asio::posix::stream_descriptor::wait_write, socket->writing, CURL_CSELECT_OUT);
}

void HttpFetcher::act(int fd, int events) {
    int running = 0;
    curl_->multi_socket_action(multi_, fd, events, &running);
    reap();
}

void HttpFetcher::reap() {
    int left = 0;
    while (CURLMsg* message = curl_->multi_info_read(multi_, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        CURL* easy = message->easy_handle;
        const CURLcode result = message->data.result;
        const auto it = transfers_.find(easy);
        curl_->multi_remove_handle(multi_, easy);
        curl_->easy_cleanup(easy);
        if (it == transfers_.end()) continue;
        std::unique_ptr<Transfer> transfer = std::move(it->second);
        transfers_.erase(it);
        if (result == CURLE_OK && !transfer->tooLarge)
            transfer->done(std::move(transfer->body));
        else
            transfer->done(std::nullopt);
    }
}

// Told from the loop, never from within get(), and only if no cancel() came between.
void HttpFetcher::failLater(Done done) {
    asio::post(io_, liveness_.guard([this, cancels = cancels_, done = std::move(done)] {
        if (cancels == cancels_) done(std::nullopt);
    }));
}

}  // namespace velmora::jukebox::mpris
