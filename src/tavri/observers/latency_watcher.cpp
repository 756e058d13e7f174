#include <algorithm>
#include <cmath>
#include <memory>

#include "tavri/observers/observers_a.h"

namespace tavri {

std::optional<Observation> LatencyWatcher::observe(const AgentEvent& event) {
    const auto* end = std::get_if<ev::ToolCallEnd>(&event);
    if (end == nullptr) return std::nullopt;

    double p50 = 0.0;
    double p95 = 0.0;
    std::size_t n = 0;
    {
        std::lock_guard lock(durations_mutex_);
        durations_ms_.insert({static_cast<double>(end->result.duration_ms), inserted_++});
        n = durations_ms_.size();
        // Upper median for even counts.
        p50 = durations_ms_.find_by_order(n / 2)->first;
        auto idx = static_cast<std::size_t>(std::floor(static_cast<double>(n) * 0.95));
        // floor(n * 0.95) < n for every n >= 1; the clamp only guards against
        // rounding on astronomically long lists.
        p95 = durations_ms_.find_by_order(std::min(idx, n - 1))->first;
    }

    Json obs = Json::object();
    obs["dimension"] = name();
    obs["count"] = static_cast<std::uint64_t>(n);
    obs["p50_ms"] = json_number(p50);
    obs["p95_ms"] = json_number(p95);
    return obs;
}

ObserverPtr make_latency_watcher() { return std::make_shared<LatencyWatcher>(); }

}  // namespace tavri
