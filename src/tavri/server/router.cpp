#include <algorithm>
#include <exception>

#include <fmt/format.h>

#include "tavri/core/log.h"
#include "tavri/core/text.h"
#include "tavri/server/app.h"
#include "tavri/server/assets.h"
#include "tavri/server/json_limits.h"

namespace tavri::server {

SharedAppState make_app_state(SharedSessionStore sessions) {
    auto app = std::make_shared<AppState>();
    app->sessions = std::move(sessions);
    app->harness_config = std::make_shared<HarnessConfigStore>();
    return app;
}

// ---- request and response values ----

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (true) {
        std::size_t pos = s.find(sep, start);
        out.push_back(s.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start));
        if (pos == std::string_view::npos) break;
        start = pos + 1;
    }
    return out;
}

}  // namespace

std::optional<std::string> percent_decode(std::string_view s, bool plus_is_space) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '%') {
            if (i + 2 >= s.size()) return std::nullopt;
            int hi = hex_digit(s[i + 1]), lo = hex_digit(s[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else if (c == '+' && plus_is_space) {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    if (text::sanitize_utf8(out) != out) return std::nullopt;
    return out;
}

std::map<std::string, std::string> Request::query_params() const {
    std::map<std::string, std::string> out;
    if (query.empty()) return out;
    for (std::string_view pair : split(query, '&')) {
        if (pair.empty()) continue;
        std::size_t eq = pair.find('=');
        std::string_view k = pair.substr(0, eq);
        std::string_view v = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        // A broken escape keeps its raw text rather than dropping the pair.
        std::string key = percent_decode(k, true).value_or(std::string(k));
        std::string value = percent_decode(v, true).value_or(std::string(v));
        out.emplace(std::move(key), std::move(value));
    }
    return out;
}

std::optional<std::string> Request::header(std::string_view lower_name) const {
    auto it = headers.find(std::string(lower_name));
    if (it == headers.end()) return std::nullopt;
    return it->second;
}

std::string Request::param(const std::string& name) const {
    auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

Response Response::json(const Json& body, unsigned status) {
    Response r;
    r.status = status;
    r.body = body.dump(-1, ' ', false, Json::error_handler_t::replace);
    return r;
}

Response Response::text(unsigned status, std::string content_type, std::string body) {
    Response r;
    r.status = status;
    r.content_type = std::move(content_type);
    r.body = std::move(body);
    return r;
}

Response Response::error(unsigned status, std::string_view reason) {
    return json(Json{{"error", std::string(reason)}}, status);
}

Response serve_index(const AppState&, const Request&) {
    auto page = assets::find("index.html");
    if (!page)
        return Response::text(200, "text/html; charset=utf-8",
                              "<!doctype html><title>Tavri Dashboard</title><h1>Tavri Dashboard</h1>");
    return Response::text(200, "text/html; charset=utf-8", std::string(*page));
}

// ---- router ----

Router::Router(std::vector<Route> routes, Handler fallback) : routes_(std::move(routes)), fallback_(std::move(fallback)) {
    for (const Route& r : routes_) {
        std::vector<Segment> segs;
        std::string_view p = r.pattern;
        if (p.starts_with('/')) p.remove_prefix(1);
        for (std::string_view s : split(p, '/')) {
            bool param = s.size() >= 2 && s.front() == '{' && s.back() == '}';
            segs.push_back({std::string(param ? s.substr(1, s.size() - 2) : s), param});
        }
        auto same = [&](const PathEntry& e) {
            if (e.segments.size() != segs.size()) return false;
            for (std::size_t i = 0; i < segs.size(); ++i)
                if (e.segments[i].param != segs[i].param || (!segs[i].param && e.segments[i].text != segs[i].text))
                    return false;
            return true;
        };
        auto it = std::find_if(paths_.begin(), paths_.end(), same);
        if (it == paths_.end()) {
            paths_.push_back({std::move(segs), {}});
            it = std::prev(paths_.end());
        }
        it->routes.push_back(&r);
    }
}

const Router::PathEntry* Router::match(const std::vector<std::string_view>& segs) const {
    const PathEntry* best = nullptr;
    for (const PathEntry& e : paths_) {
        if (e.segments.size() != segs.size()) continue;
        bool ok = true;
        for (std::size_t i = 0; i < segs.size() && ok; ++i)
            ok = e.segments[i].param ? !segs[i].empty() : e.segments[i].text == segs[i];
        if (!ok) continue;
        if (best == nullptr) {
            best = &e;
            continue;
        }
        // A literal segment beats a parameter at the first place they differ.
        for (std::size_t i = 0; i < segs.size(); ++i) {
            if (e.segments[i].param != best->segments[i].param) {
                if (!e.segments[i].param) best = &e;
                break;
            }
        }
    }
    return best;
}

Response Router::dispatch(const AppState& app, Request& req) const {
    std::string_view path = req.path;
    if (path.starts_with('/')) path.remove_prefix(1);
    const PathEntry* entry = match(split(path, '/'));
    if (entry == nullptr) return fallback_(app, req);

    const Route* route = nullptr;
    for (const Route* r : entry->routes)
        if (r->method == req.method) route = r;
    if (route == nullptr && req.method == "HEAD")
        for (const Route* r : entry->routes)
            if (r->method == "GET") route = r;
    if (route == nullptr) {
        std::string allow;
        for (const Route* r : entry->routes) {
            if (!allow.empty()) allow += ", ";
            allow += r->method;
            if (r->method == "GET") allow += ", HEAD";
        }
        Response res = Response::error(405, "method not allowed");
        res.headers.emplace_back("Allow", allow);
        return res;
    }

    std::string_view rest = req.path;
    if (rest.starts_with('/')) rest.remove_prefix(1);
    auto segs = split(rest, '/');
    req.params.clear();
    for (std::size_t i = 0; i < segs.size(); ++i) {
        if (!entry->segments[i].param) continue;
        auto decoded = percent_decode(segs[i]);
        if (!decoded) return Response::error(400, fmt::format("invalid path segment for '{}'", entry->segments[i].text));
        req.params[entry->segments[i].text] = std::move(*decoded);
    }

    if (route->json_body) {
        if (!json_nesting_within(req.body, kMaxJsonDepth))
            return Response::error(400, "request body is nested too deeply");
        Json body = Json::parse(req.body, nullptr, /*allow_exceptions=*/false);
        if (body.is_discarded()) return Response::error(400, "request body is not valid JSON");
        req.json = std::move(body);
    }

    try {
        return route->handler(app, req);
    } catch (const std::exception& e) {
        log::warn(fmt::format("handler for {} {} failed: {}", req.method, route->pattern, e.what()));
    } catch (...) {
        log::warn(fmt::format("handler for {} {} failed", req.method, route->pattern));
    }
    return Response::error(500, "internal error");
}

}  // namespace tavri::server
