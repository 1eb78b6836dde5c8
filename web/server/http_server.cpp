// SPDX-License-Identifier: MIT
#include "server/http_server.h"

#include "server/request_check.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <deque>
#include <list>
#include <optional>

namespace velmora::web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using beast::error_code;

namespace {

class Connection;

constexpr std::string_view kServerName = "velmora-web";
constexpr auto kRetryAcceptAfter = std::chrono::milliseconds(100);

// The fields every answer carries.
template <class Message>
void secure(Message& message) {
    message.set(http::field::server, kServerName);
    message.set("Content-Security-Policy", kContentSecurityPolicy);
    message.set("X-Content-Type-Options", "nosniff");
    message.set("Referrer-Policy", "no-referrer");
    message.set("Cross-Origin-Resource-Policy", "same-origin");
}

}  // namespace

struct HttpServer::Shared {
    Shared(asio::io_context& io, const ServerLimits& limits, const Site& site,
           std::function<std::string()> snapshot)
        : io(io),
          acceptor(io),
          ping(io),
          limits(limits),
          site(site),
          snapshot(std::move(snapshot)) {}

    asio::io_context& io;
    tcp::acceptor acceptor;
    asio::steady_timer ping;
    ServerLimits limits;
    const Site& site;
    std::function<std::string()> snapshot;
    std::size_t connections = 0;
    std::list<std::weak_ptr<Connection>> pages;
    bool stopped = false;

    std::vector<std::shared_ptr<Connection>> openPages() {
        std::vector<std::shared_ptr<Connection>> open;
        open.reserve(pages.size());
        for (const auto& page : pages)
            if (auto alive = page.lock()) open.push_back(std::move(alive));
        return open;
    }
};

namespace {

using Shared = HttpServer::Shared;

// One client: requests one after another on a kept-alive connection, or the stream of events.
class Connection final : public std::enable_shared_from_this<Connection> {
  public:
    Connection(tcp::socket socket, std::shared_ptr<Shared> shared)
        : stream_(std::move(socket)),
          shared_(std::move(shared)),
          buffer_(shared_->limits.headerBytes),
          writeDeadline_(shared_->io) {
        ++shared_->connections;
    }
    ~Connection() { --shared_->connections; }

    void start() { readRequest(); }

    // A page's next event. One whose queue would grow past the bound has stopped reading: it
    // loses its stream, and its browser opens a fresh one (and a whole board) once it reads again.
    void send(std::shared_ptr<const std::string> event) {
        if (!streaming_) return;
        if (queued_ + event->size() > shared_->limits.queuedBytes) return close();
        queued_ += event->size();
        queue_.push_back(std::move(event));
        writeNext();
    }

    void close() {
        if (closed_) return;
        closed_ = true;
        if (streaming_) shared_->pages.erase(page_);
        streaming_ = false;
        queue_.clear();
        writeDeadline_.cancel();
        error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

  private:
    void readRequest() {
        parser_.emplace();
        parser_->header_limit(shared_->limits.headerBytes);
        parser_->body_limit(0);
        stream_.expires_after(shared_->limits.requestTime);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](const error_code& error, std::size_t) {
                             self->onRequest(error);
                         });
    }

    void onRequest(const error_code& error) {
        if (closed_) return;
        if (error == http::error::end_of_stream || error == beast::error::timeout ||
            error == asio::error::operation_aborted || error == asio::error::connection_reset)
            return close();
        if (error == http::error::header_limit || error == http::error::buffer_overflow)
            return refuse(http::status::request_header_fields_too_large,
                          "A request's line and header fields are at most " +
                              std::to_string(shared_->limits.headerBytes) + " bytes.");
        if (error == http::error::body_limit || error == http::error::unexpected_body)
            return refuse(http::status::payload_too_large, "A request here carries no body.");
        if (error) return refuse(http::status::bad_request, "That is no HTTP request.");

        const auto& request = parser_->get();
        const Method method = request.method() == http::verb::get    ? Method::Get
                              : request.method() == http::verb::head ? Method::Head
                                                                     : Method::Other;
        const std::string_view target(request.target().data(), request.target().size());
        const auto refusal =
            checkRequest(method, target, std::distance(request.begin(), request.end()),
                         shared_->limits.headerFields);
        if (refusal) return refuse(static_cast<http::status>(refusal->status), refusal->why);
        if (Site::isEvents(target)) return startStream();
        answer(shared_->site.answer(target), method == Method::Head,
               request.keep_alive() && ++served_ < shared_->limits.requestsPerConnection);
    }

    void answer(Reply reply, bool headOnly, bool keepAlive) {
        keep_ = std::move(reply.keep);
        response_.emplace(static_cast<http::status>(reply.status), 11);
        secure(*response_);
        response_->set(http::field::content_type, reply.mediaType);
        response_->set(http::field::cache_control, reply.cacheControl);
        response_->body() = {reply.body.data(), headOnly ? 0 : reply.body.size()};
        response_->prepare_payload();
        if (headOnly) response_->content_length(reply.body.size());
        if (allow_) response_->set(http::field::allow, "GET, HEAD");
        if (retryAfter_) response_->set(http::field::retry_after, "30");
        response_->keep_alive(keepAlive);
        stream_.expires_after(shared_->limits.writeTime);
        http::async_write(
            stream_, *response_,
            [self = shared_from_this(), keepAlive](const error_code& error, std::size_t) {
                self->response_.reset();
                self->keep_.reset();
                if (error || !keepAlive) return self->close();
                self->readRequest();
            });
    }

    // A plain-text refusal, and the connection ends.
    void refuse(http::status status, const std::string& why) {
        auto text = std::make_shared<const std::string>(
            refusalText(unsigned(status), http::obsolete_reason(status), why));
        Reply reply{Status::Ok, "text/plain; charset=utf-8", *text, text, "no-store"};
        reply.status = static_cast<Status>(status);
        if (status == http::status::method_not_allowed) allow_ = true;
        answer(std::move(reply), false, false);
    }

    void startStream() {
        if (shared_->pages.size() >= shared_->limits.maxPages) {
            retryAfter_ = true;
            return refuse(http::status::service_unavailable,
                          std::to_string(shared_->limits.maxPages) +
                              " pages are open, the most this board serves. This page connects "
                              "by itself once another one closes.");
        }
        parser_.reset();
        buffer_.clear();
        buffer_.shrink_to_fit();
        head_.emplace(http::status::ok, 11);
        secure(*head_);
        head_->set(http::field::content_type, "text/event-stream; charset=utf-8");
        head_->set(http::field::cache_control, "no-store");
        head_->set("X-Accel-Buffering", "no");
        head_->keep_alive(false);  // the stream runs until one side closes it
        headWriter_.emplace(*head_);
        stream_.expires_after(shared_->limits.writeTime);
        http::async_write_header(stream_, *headWriter_,
                                 [self = shared_from_this()](const error_code& error, std::size_t) {
                                     self->headWriter_.reset();
                                     self->head_.reset();
                                     if (error) return self->close();
                                     self->stream_.expires_never();
                                     self->streaming_ = true;
                                     self->page_ = self->shared_->pages.insert(
                                         self->shared_->pages.end(), self->weak_from_this());
                                     self->send(std::make_shared<const std::string>(
                                         "retry: 2000\n\n" + self->shared_->snapshot()));
                                     self->watchHangUp();
                                 });
    }

    // A page sends nothing more on its stream: anything it sends, or its end, ends the stream.
    void watchHangUp() {
        stream_.socket().async_read_some(
            asio::buffer(probe_),
            [self = shared_from_this()](const error_code&, std::size_t) { self->close(); });
    }

    void writeNext() {
        if (writing_ || queue_.empty() || closed_) return;
        writing_ = true;
        const int mine = ++writes_;
        writeDeadline_.expires_after(shared_->limits.writeTime);
        writeDeadline_.async_wait([self = shared_from_this(), mine](const error_code& error) {
            if (!error && self->writing_ && self->writes_ == mine) self->close();
        });
        asio::async_write(stream_.socket(), asio::buffer(*queue_.front()),
                          [self = shared_from_this()](const error_code& error, std::size_t) {
                              self->writing_ = false;
                              self->writeDeadline_.cancel();
                              if (error || self->closed_) return self->close();
                              self->queued_ -= self->queue_.front()->size();
                              self->queue_.pop_front();
                              self->writeNext();
                          });
    }

    beast::tcp_stream stream_;
    std::shared_ptr<Shared> shared_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::empty_body>> parser_;
    std::optional<http::response<http::span_body<const char>>> response_;
    std::shared_ptr<const void> keep_;
    std::size_t served_ = 0;
    bool allow_ = false;
    bool retryAfter_ = false;

    std::optional<http::response<http::empty_body>> head_;
    std::optional<http::response_serializer<http::empty_body>> headWriter_;
    std::list<std::weak_ptr<Connection>>::iterator page_;
    std::deque<std::shared_ptr<const std::string>> queue_;
    std::size_t queued_ = 0;
    asio::steady_timer writeDeadline_;
    int writes_ = 0;
    char probe_[1] = {};
    bool writing_ = false;
    bool streaming_ = false;
    bool closed_ = false;
};

// Beyond the bound on connections a client gets this, written at once, and the door.
constexpr std::string_view kTooManyConnections =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 48\r\nRetry-After: 30\r\nConnection: close\r\n\r\n"
    "503: too many connections to this board at once\n";

void accept(const std::shared_ptr<Shared>& shared) {
    shared->acceptor.async_accept(
        shared->io, [shared](const error_code& error, tcp::socket socket) {
            if (shared->stopped) return;
            if (error) {
                // Out of descriptors, say: try again shortly rather than spin.
                auto pause = std::make_shared<asio::steady_timer>(shared->io, kRetryAcceptAfter);
                pause->async_wait([shared, pause](const error_code&) {
                    if (!shared->stopped) accept(shared);
                });
                return;
            }
            const std::size_t most = shared->limits.maxConnections ? shared->limits.maxConnections
                                                                   : shared->limits.maxPages + 64;
            if (shared->connections >= most) {
                error_code ignored;
                socket.non_blocking(true, ignored);
                socket.write_some(asio::buffer(kTooManyConnections), ignored);
                socket.shutdown(tcp::socket::shutdown_both, ignored);
            } else {
                std::make_shared<Connection>(std::move(socket), shared)->start();
            }
            accept(shared);
        });
}

void keepPinging(const std::shared_ptr<Shared>& shared) {
    static const auto kPing = std::make_shared<const std::string>("event: ping\ndata: \n\n");
    shared->ping.expires_after(shared->limits.ping);
    shared->ping.async_wait([shared](const error_code& error) {
        if (error || shared->stopped) return;
        for (const auto& page : shared->openPages()) page->send(kPing);
        keepPinging(shared);
    });
}

}  // namespace

HttpServer::HttpServer(asio::io_context& io, const std::string& host, const std::string& port,
                       const ServerLimits& limits, const Site& site,
                       std::function<std::string()> snapshot)
    : shared_(std::make_shared<Shared>(io, limits, site, std::move(snapshot))) {
    tcp::resolver resolver(io);
    const tcp::endpoint endpoint =
        *resolver.resolve(host, port, tcp::resolver::passive | tcp::resolver::numeric_service)
             .begin();
    tcp::acceptor& acceptor = shared_->acceptor;
    acceptor.open(endpoint.protocol());
    acceptor.set_option(tcp::acceptor::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(asio::socket_base::max_listen_connections);
    accept(shared_);
    keepPinging(shared_);
}

HttpServer::~HttpServer() {
    stop();
}

std::string HttpServer::address() const {
    const tcp::endpoint endpoint = shared_->acceptor.local_endpoint();
    const std::string host = endpoint.address().is_v6() ? "[" + endpoint.address().to_string() + "]"
                                                        : endpoint.address().to_string();
    return host + ":" + std::to_string(endpoint.port());
}

std::size_t HttpServer::pages() const {
    return shared_->pages.size();
}

void HttpServer::broadcast(std::shared_ptr<const std::string> event) {
    for (const auto& page : shared_->openPages()) page->send(event);
}

void HttpServer::stop() {
    if (shared_->stopped) return;
    shared_->stopped = true;
    error_code ignored;
    shared_->acceptor.close(ignored);
    shared_->ping.cancel();
    for (const auto& page : shared_->openPages()) page->close();
}

}  // namespace velmora::web
