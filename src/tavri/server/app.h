// The dashboard server's application frame: the state every handler
// receives, the plain request and response values handlers work with, and
// the router that matches a request to a handler.
//
// Nothing here includes the HTTP library: the socket side (server.cpp)
// converts to and from these values, so handlers and their tests compile
// without it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tavri/core/json.h"
#include "tavri/server/harness_config.h"
#include "tavri/server/store.h"

namespace tavri::server {

// Shared by all handlers; all mutation goes through the locks inside.
struct AppState {
    SharedSessionStore sessions;
    SharedHarnessConfig harness_config;
};
using SharedAppState = std::shared_ptr<const AppState>;

// Builds the state around an existing store, with the default configuration.
SharedAppState make_app_state(SharedSessionStore sessions);

inline constexpr std::size_t kMaxRequestBody = 16 * 1024 * 1024;

struct Request {
    std::string method;  // upper case as sent ("GET")
    std::string target;  // as sent: path and query
    std::string path;    // raw (still percent-encoded) path
    std::string query;   // raw query, without '?'
    std::map<std::string, std::string> headers;  // names lower-cased
    std::string body;
    // Filled by the router before the handler runs:
    std::map<std::string, std::string> params;  // decoded {name} segments
    std::optional<Json> json;                   // parsed body on JSON routes

    // Decoded query parameters ('+' is a blank; the first of repeated keys wins).
    std::map<std::string, std::string> query_params() const;
    std::optional<std::string> header(std::string_view lower_name) const;
    std::string param(const std::string& name) const;
};

struct Response {
    unsigned status = 200;
    std::string content_type = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    static Response json(const Json& body, unsigned status = 200);
    static Response text(unsigned status, std::string content_type, std::string body);
    // A request-layer rejection: `status` with {"error": reason}.
    static Response error(unsigned status, std::string_view reason);
};

using Handler = std::function<Response(const AppState&, const Request&)>;

struct Route {
    std::string method;   // "GET", "POST", "PUT", "DELETE"
    std::string pattern;  // "/api/v1/sessions/{id}"
    Handler handler;
    bool json_body = false;  // the body must be JSON; parsed into Request::json
};

// The complete route table of the server (route_table.cpp).
std::vector<Route> route_table();

// Percent-decodes one path segment; nothing for a broken escape or a result
// that is not valid UTF-8.
std::optional<std::string> percent_decode(std::string_view s, bool plus_is_space = false);

class Router {
public:
    Router(std::vector<Route> routes, Handler fallback);

    // Matches and runs the handler. Known path with an unregistered method:
    // 405 with an Allow header; unknown path: the fallback; malformed
    // parameter segment or non-JSON body on a JSON route: 400. HEAD is served
    // by the GET handler with the body dropped by the socket side. A
    // handler that throws is answered 500, never taken further.
    Response dispatch(const AppState& app, Request& req) const;

private:
    struct Segment {
        std::string text;
        bool param = false;
    };
    struct PathEntry {
        std::vector<Segment> segments;
        std::vector<const Route*> routes;
    };
    const PathEntry* match(const std::vector<std::string_view>& segs) const;

    std::vector<Route> routes_;
    std::vector<PathEntry> paths_;
    Handler fallback_;
};

// The index-page handler used as the fallback for unknown paths.
Response serve_index(const AppState&, const Request&);

}  // namespace tavri::server
