// The socket side of the dashboard server and its start-up and shutdown.
//
// All code that needs the HTTP library lives in this one file so the rest
// of the server (router, handlers, store) builds without it. One
// io_context runs on a pool of one thread per core; each accepted
// connection gets its own strand and serves requests one after another
// (keep-alive). Handlers are plain synchronous calls on the pool. Session
// files are written on a separate thread so no request ever waits on the
// disk.
#include "tavri/server/server.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <fmt/format.h>

#include "tavri/core/log.h"
#include "tavri/server/app.h"
#include "tavri/server/hooks.h"
#include "tavri/server/store.h"

namespace tavri::server {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;

constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
constexpr auto kIdleTimeout = 300s;
constexpr auto kDrainTimeout = 10s;
constexpr std::size_t kMaxDrainBytes = 64 * 1024 * 1024;
constexpr auto kSaveInterval = 30s;
constexpr auto kShutdownGrace = 5s;

// Operator lines go to standard output, flushed at once: it may be a pipe.
void say(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class Connection;

// What the accept loop and the connections share.
struct ServerCore {
    ServerCore(SharedAppState a, Router r) : app(std::move(a)), router(std::move(r)) {}

    SharedAppState app;
    Router router;

    std::mutex mu;
    std::condition_variable idle_cv;
    std::unordered_map<std::uint64_t, std::weak_ptr<Connection>> conns;
    std::uint64_t next_id = 0;
    bool stopping = false;

    void forget(std::uint64_t id) {
        std::lock_guard lock(mu);
        conns.erase(id);
        if (conns.empty()) idle_cv.notify_all();
    }
};

Response preflight(const Request& req) {
    Response res = Response::text(200, "", "");
    res.headers.emplace_back("Access-Control-Allow-Methods", req.header("access-control-request-method").value_or("*"));
    res.headers.emplace_back("Access-Control-Allow-Headers", req.header("access-control-request-headers").value_or("*"));
    res.headers.emplace_back("Access-Control-Max-Age", "86400");
    res.headers.emplace_back("Vary", "origin, access-control-request-method, access-control-request-headers");
    return res;
}

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket socket, std::shared_ptr<ServerCore> core, std::uint64_t id)
        : stream_(std::move(socket)), core_(std::move(core)), id_(id) {}
    ~Connection() { core_->forget(id_); }

    void start() {
        asio::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->read_request(); });
    }
    // Graceful stop: an idle connection closes now, a busy one after its
    // current response.
    void stop() {
        asio::post(stream_.get_executor(), [self = shared_from_this()] {
            self->stopping_ = true;
            if (self->idle_) self->close();
        });
    }

private:
    void read_request() {
        if (stopping_) return close();
        parser_.emplace();
        parser_->body_limit(kMaxRequestBody);
        parser_->header_limit(kMaxHeaderBytes);
        idle_ = true;
        stream_.expires_after(kIdleTimeout);
        http::async_read(stream_, buffer_, *parser_,
                         beast::bind_front_handler(&Connection::on_read, shared_from_this()));
    }

    void on_read(beast::error_code ec, std::size_t) {
        idle_ = false;
        if (ec == http::error::body_limit) return reject(413, "request body exceeds 16 MiB", true);
        if (ec == http::error::header_limit) return reject(431, "request header too large", true);
        if (ec) {
            // A parse failure of a request that did arrive is answered; a
            // closed, reset or timed-out connection just ends.
            bool parse_error = ec.category() == http::make_error_code(http::error::bad_target).category() &&
                               ec != http::error::end_of_stream && ec != http::error::partial_message;
            if (parse_error) return reject(400, "malformed request", false);
            return close();
        }
        handle(parser_->release());
    }

    void handle(http::request<http::string_body> msg) {
        Request req;
        req.method = std::string(msg.method_string());
        req.target = std::string(msg.target());
        std::string_view target = req.target;
        std::size_t q = target.find('?');
        req.path = std::string(target.substr(0, q));
        if (q != std::string_view::npos) req.query = std::string(target.substr(q + 1));
        for (const auto& field : msg) {
            std::string name(field.name_string());
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            auto [it, fresh] = req.headers.emplace(name, std::string(field.value()));
            if (!fresh) it->second += ", " + std::string(field.value());
        }
        req.body = std::move(msg.body());

        Response res;
        if (req.method == "OPTIONS" && req.header("access-control-request-method"))
            res = preflight(req);
        else if (!req.path.starts_with('/'))
            res = Response::error(400, "invalid request target");
        else
            res = core_->router.dispatch(*core_->app, req);

        write(std::move(res), msg.version(), msg.keep_alive() && !stopping_, req.method == "HEAD", false);
    }

    void reject(unsigned status, std::string_view reason, bool drain) {
        write(Response::error(status, reason), 11, false, false, drain);
    }

    void write(Response res, unsigned version, bool keep_alive, bool head, bool drain) {
        auto out = std::make_shared<http::response<http::string_body>>(static_cast<http::status>(res.status), version);
        out->set(http::field::server, "tavri");
        if (!res.content_type.empty()) out->set(http::field::content_type, res.content_type);
        for (auto& [name, value] : res.headers) out->set(name, value);
        out->set(http::field::access_control_allow_origin, "*");
        out->keep_alive(keep_alive);
        if (head) {
            out->content_length(res.body.size());
        } else {
            out->body() = std::move(res.body);
            out->prepare_payload();
        }
        response_ = out;
        stream_.expires_after(kIdleTimeout);
        http::async_write(stream_, *out,
                          [self = shared_from_this(), keep_alive, drain](beast::error_code ec, std::size_t) {
                              self->response_.reset();
                              if (ec) return self->close();
                              if (drain) return self->drain();
                              if (!keep_alive) return self->close();
                              self->read_request();
                          });
    }

    // After refusing a request whose body is still arriving, read and drop
    // the rest for a while before closing, so the client sees the answer
    // instead of a connection reset.
    void drain() {
        beast::error_code ec;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
        buffer_.consume(buffer_.size());
        stream_.expires_after(kDrainTimeout);
        drain_more();
    }
    void drain_more() {
        if (drained_ >= kMaxDrainBytes) return close();
        stream_.async_read_some(asio::buffer(scratch_), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
            if (ec) return self->close();
            self->drained_ += n;
            self->drain_more();
        });
    }

    void close() {
        beast::error_code ec;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
        stream_.close();
    }

    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::shared_ptr<http::response<http::string_body>> response_;
    std::array<char, 16 * 1024> scratch_{};
    std::size_t drained_ = 0;
    std::shared_ptr<ServerCore> core_;
    std::uint64_t id_;
    bool idle_ = false;
    bool stopping_ = false;
};

class Listener : public std::enable_shared_from_this<Listener> {
public:
    Listener(asio::io_context& ioc, tcp::acceptor acceptor, std::shared_ptr<ServerCore> core)
        : ioc_(ioc), acceptor_(std::move(acceptor)), retry_(ioc), core_(std::move(core)) {}

    void start() { accept(); }
    void stop() {
        asio::post(acceptor_.get_executor(), [self = shared_from_this()] {
            beast::error_code ec;
            self->acceptor_.close(ec);
            self->retry_.cancel();
        });
    }

private:
    void accept() {
        acceptor_.async_accept(asio::make_strand(ioc_), [self = shared_from_this()](beast::error_code ec, tcp::socket s) {
            self->on_accept(ec, std::move(s));
        });
    }
    void on_accept(beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
        if (ec) {
            // Out of descriptors and the like: back off briefly, keep serving.
            log::warn(fmt::format("accept failed: {}", ec.message()));
            retry_.expires_after(50ms);
            retry_.async_wait([self = shared_from_this()](beast::error_code e) {
                if (!e) self->accept();
            });
            return;
        }
        std::shared_ptr<Connection> conn;
        {
            std::lock_guard lock(core_->mu);
            if (core_->stopping) return;  // the socket closes as it goes out of scope
            std::uint64_t id = core_->next_id++;
            conn = std::make_shared<Connection>(std::move(socket), core_, id);
            core_->conns.emplace(id, conn);
        }
        conn->start();
        accept();
    }

    asio::io_context& ioc_;
    tcp::acceptor acceptor_;
    asio::steady_timer retry_;
    std::shared_ptr<ServerCore> core_;
};

beast::error_code try_bind(tcp::acceptor& acceptor, std::uint16_t port) {
    beast::error_code ec;
    tcp::endpoint ep(asio::ip::make_address_v4("127.0.0.1"), port);
    acceptor.open(ep.protocol(), ec);
    if (ec) return ec;
    acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor.bind(ep, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        beast::error_code ignored;
        acceptor.close(ignored);
    }
    return ec;
}

// Binds 127.0.0.1 on the first free port from `start`, trying at most
// start..start+100 and never past 65535.
Result<std::uint16_t, std::string> bind_first_free(tcp::acceptor& acceptor, std::uint16_t start) {
    const std::uint32_t last = std::min<std::uint32_t>(std::uint32_t{start} + 100, 65535);
    const std::string no_free = fmt::format("No free port found between {} and {}", start, last);
    std::uint32_t current = start;
    while (true) {
        beast::error_code ec = try_bind(acceptor, static_cast<std::uint16_t>(current));
        if (!ec) {
            beast::error_code e2;
            auto ep = acceptor.local_endpoint(e2);
            return static_cast<std::uint16_t>(e2 ? current : ep.port());
        }
        if (ec != asio::error::address_in_use)
            return make_err(fmt::format("Failed to bind to port {}: {}", current, ec.message()));
        if (current >= last) {
            if (current + 1 <= 65535) {
                std::string line = fmt::format("Port {} is in use, trying port {}...", current, current + 1);
                say(line);
                log::warn(line);
            }
            return make_err(no_free);
        }
        std::string line = fmt::format("Port {} is in use, trying port {}...", current, current + 1);
        say(line);
        log::warn(line);
        ++current;
    }
}

}  // namespace

Result<Unit, std::string> run_server(std::uint16_t port) {
    auto store = new_store();
    if (std::size_t loaded = load_sessions(*store); loaded > 0)
        say(fmt::format("Loaded {} historical sessions", loaded));

    auto core = std::make_shared<ServerCore>(make_app_state(store), Router(route_table(), serve_index));

    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    asio::io_context ioc(static_cast<int>(threads));
    auto work = asio::make_work_guard(ioc);
    asio::thread_pool saver(1);  // disk writes, off the request threads

    tcp::acceptor acceptor(ioc);
    auto bound = bind_first_free(acceptor, port);
    if (!bound.ok()) {
        saver.join();
        return make_err(bound.error());
    }
    beast::error_code ec;
    const tcp::endpoint endpoint = acceptor.local_endpoint(ec);
    const std::string address = fmt::format("{}:{}", endpoint.address().to_string(), *bound);

    setup_hooks(*bound);

    const std::string rule(40, '=');
    say(rule);
    say("  Tavri Dashboard");
    say(fmt::format("  http://{}", address));
    say(rule);
    say("  Press Ctrl+C to stop");
    say("");
    log::info(fmt::format("Tavri server started on http://{}", address));

    auto listener = std::make_shared<Listener>(ioc, std::move(acceptor), core);
    listener->start();

    // Periodic save: first one 30 s after start. A save still running when
    // the next is due is not doubled up.
    std::atomic<bool> save_queued{false};
    asio::steady_timer save_timer(ioc);
    std::function<void()> arm_save = [&] {
        save_timer.expires_after(kSaveInterval);
        save_timer.async_wait([&](beast::error_code e) {
            if (e) return;
            if (!save_queued.exchange(true))
                asio::post(saver, [&] {
                    save_sessions(*store);
                    save_queued = false;
                });
            arm_save();
        });
    };
    arm_save();

    // Ctrl+C: the final save runs on the saver thread while requests are
    // still served; the main thread then winds the server down.
    std::mutex done_mu;
    std::condition_variable done_cv;
    bool saved_for_exit = false;
    auto final_save = [&] {
        asio::post(saver, [&] {
            say("");
            say("Saving sessions before exit...");
            save_sessions(*store);
            say("Shutdown complete.");
            std::lock_guard lock(done_mu);
            saved_for_exit = true;
            done_cv.notify_all();
        });
    };
    asio::signal_set signals(ioc);
    beast::error_code sig_ec;
    signals.add(SIGINT, sig_ec);
    if (sig_ec) {
        // Without a signal handler there is no way to stop later: treat it as
        // the interrupt having arrived.
        final_save();
    } else {
        signals.async_wait([&](beast::error_code e, int) {
            if (e != asio::error::operation_aborted) final_save();
        });
    }

    std::vector<std::thread> pool;
    pool.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) pool.emplace_back([&ioc] { ioc.run(); });

    {
        std::unique_lock lock(done_mu);
        done_cv.wait(lock, [&] { return saved_for_exit; });
    }

    // Stop accepting, close idle connections, let in-flight requests finish.
    listener->stop();
    asio::post(ioc, [&] {
        save_timer.cancel();
        beast::error_code ignored;
        signals.cancel(ignored);
    });
    std::vector<std::shared_ptr<Connection>> live;
    {
        std::lock_guard lock(core->mu);
        core->stopping = true;
        for (auto& [id, weak] : core->conns)
            if (auto c = weak.lock()) live.push_back(std::move(c));
    }
    for (auto& c : live) c->stop();
    live.clear();
    work.reset();
    {
        std::unique_lock lock(core->mu);
        if (!core->idle_cv.wait_for(lock, kShutdownGrace, [&] { return core->conns.empty(); })) ioc.stop();
    }
    for (auto& t : pool) t.join();
    saver.join();
    return Unit{};
}

}  // namespace tavri::server
