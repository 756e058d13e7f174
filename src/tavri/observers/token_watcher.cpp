#include <limits>
#include <memory>

#include "tavri/observers/observers_a.h"

namespace tavri {

namespace {

// Token counts come from outside (hooks, adapters); a sum that would wrap
// is pinned at the maximum rather than reported as a small number.
std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
    std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    return a > max - b ? max : a + b;
}

}  // namespace

double TokenWatcher::cache_hit_rate() const {
    double hits = static_cast<double>(cache_hits_.get());
    double misses = static_cast<double>(cache_misses_.get());
    double seen = hits + misses;
    return seen == 0.0 ? 0.0 : hits / seen;
}

double TokenWatcher::dedup_rate() const {
    double cached = static_cast<double>(cached_tool_calls_.get());
    double calls = static_cast<double>(tool_calls_.get());
    return calls == 0.0 ? 0.0 : cached / calls;
}

std::uint64_t TokenWatcher::waste_tokens() const { return waste_tokens_.get(); }

std::optional<Observation> TokenWatcher::observe(const AgentEvent& event) {
    if (std::holds_alternative<ev::ToolCallStart>(event)) {
        tool_calls_.add();
        return std::nullopt;
    }
    if (std::holds_alternative<ev::ToolCallCached>(event)) {
        cached_tool_calls_.add();
        return std::nullopt;
    }
    const auto* usage = std::get_if<ev::TokenUsage>(&event);
    if (usage == nullptr) return std::nullopt;

    if (usage->cache_read != 0) {
        cache_hits_.add();
    } else {
        cache_misses_.add();
    }
    std::uint64_t total = saturating_add(saturating_add(usage->input, usage->output),
                                         saturating_add(usage->cache_read, usage->cache_write));
    Json obs = Json::object();
    obs["dimension"] = name();
    obs["total_tokens"] = total;
    obs["cache_hit_rate"] = json_number(cache_hit_rate());
    obs["dedup_rate"] = json_number(dedup_rate());
    obs["waste_tokens"] = waste_tokens();
    return obs;
}

ObserverPtr make_token_watcher() { return std::make_shared<TokenWatcher>(); }

}  // namespace tavri
