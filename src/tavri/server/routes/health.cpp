#include "tavri/server/routes/health.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace tavri::server::routes {

namespace {

constexpr const char* kVersion = "0.3.0";

std::atomic<std::uint64_t> g_request_count{0};

// Uptime counts from the first health or status request, not from start-up:
// the instant is taken the first time it is asked for.
std::chrono::steady_clock::time_point start_time() {
    static const auto start = std::chrono::steady_clock::now();
    return start;
}

std::uint64_t uptime_secs() {
    auto since = start_time();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - since).count());
}

}  // namespace

Response health(const AppState&, const Request&) {
    auto up = uptime_secs();
    auto requests = g_request_count.fetch_add(1) + 1;
    return Response::json(Json{{"status", "ok"}, {"uptime_secs", up}, {"requests", requests}});
}

Response status(const AppState&, const Request&) {
    auto up = uptime_secs();
    return Response::json(Json{{"version", kVersion}, {"uptime_secs", up}, {"requests", g_request_count.load()}});
}

Response readiness(const AppState&, const Request&) {
    return Response::json(Json{{"ready", true}, {"store", "in_memory"}, {"version", kVersion}});
}

}  // namespace tavri::server::routes
