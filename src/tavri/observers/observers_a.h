// Watchers for economy (tokens, cost, latency) and for quality and safety
// (accuracy, security, reliability, compliance).
//
// Each watcher keeps its running state for the life of the instance and
// never resets it. Instances are shared between threads: every counter,
// total and list sits behind its own mutex, and no method ever holds two of
// them at once, so a rate built from two counters is consistent per counter
// only.
#pragma once

#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tavri/core/plugin.h"

namespace tavri {

// Helpers private to these watchers; namespaced so that other watcher
// families can keep their own without clashing.
namespace watch_a {

// A u64 counter with its own lock.
class GuardedCounter {
public:
    void add(std::uint64_t n = 1) {
        std::lock_guard lock(mutex_);
        value_ += n;
    }
    std::uint64_t get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }

private:
    mutable std::mutex mutex_;
    std::uint64_t value_ = 0;
};

// The patterns of `patterns` found in `text`, compared lower-cased, each
// reported once and in the list's own letter case.
std::vector<std::string> matched_patterns(std::string_view text, const std::vector<std::string>& patterns);

}  // namespace watch_a

// Token use and caching: "token" / "token_efficiency".
class TokenWatcher final : public Observer {
public:
    std::string name() const override { return "token"; }
    std::string dimension() const override { return "token_efficiency"; }
    std::optional<Observation> observe(const AgentEvent& event) override;

    // Share of TokenUsage events that read from the cache; 0.0 before any.
    double cache_hit_rate() const;
    // Cached tool calls per started tool call; not capped at 1.
    double dedup_rate() const;
    std::uint64_t waste_tokens() const;

private:
    watch_a::GuardedCounter cache_hits_;
    watch_a::GuardedCounter cache_misses_;
    watch_a::GuardedCounter cached_tool_calls_;
    watch_a::GuardedCounter tool_calls_;
    // Nothing feeds this yet; it is reported so detectors can rely on the key.
    watch_a::GuardedCounter waste_tokens_;
};

// Money spent, priced from token counts: "cost" / "cost".
class CostWatcher final : public Observer {
public:
    std::string name() const override { return "cost"; }
    std::string dimension() const override { return "cost"; }
    std::optional<Observation> observe(const AgentEvent& event) override;

private:
    std::mutex total_mutex_;
    double total_cost_ = 0.0;
};

// Tool-call durations as percentiles: "latency" / "latency".
class LatencyWatcher final : public Observer {
public:
    std::string name() const override { return "latency"; }
    std::string dimension() const override { return "latency"; }
    std::optional<Observation> observe(const AgentEvent& event) override;

private:
    std::mutex durations_mutex_;
    // Every duration seen, as an order-statistic tree so that each new
    // duration and each percentile lookup cost O(log n): the list never
    // shrinks and is queried on every tool result. Keys pair the duration
    // with an insertion number so equal durations are all kept.
    using DurationTree =
        __gnu_pbds::tree<std::pair<double, std::uint64_t>, __gnu_pbds::null_type,
                         std::less<std::pair<double, std::uint64_t>>, __gnu_pbds::rb_tree_tag,
                         __gnu_pbds::tree_order_statistics_node_update>;
    DurationTree durations_ms_;
    std::uint64_t inserted_ = 0;
};

// Test and lint outcomes read from tool results: "accuracy".
class AccuracyWatcher final : public Observer {
public:
    std::string name() const override { return "accuracy"; }
    std::string dimension() const override { return "accuracy"; }
    std::optional<Observation> observe(const AgentEvent& event) override;

private:
    watch_a::GuardedCounter tests_passed_;
    watch_a::GuardedCounter tests_failed_;
    watch_a::GuardedCounter lint_errors_;
};

// Secrets in outputs, injection phrases in received messages, dangerous
// commands in tool arguments: "security". Stateless.
class SecurityWatcher final : public Observer {
public:
    std::string name() const override { return "security"; }
    std::string dimension() const override { return "security"; }
    std::optional<Observation> observe(const AgentEvent& event) override;

    static const std::vector<std::string>& secret_patterns();
    static const std::vector<std::string>& injection_patterns();
    static const std::vector<std::string>& dangerous_command_patterns();
};

// Error rate of operations: "reliability". Answers every event.
class ReliabilityWatcher final : public Observer {
public:
    std::string name() const override { return "reliability"; }
    std::string dimension() const override { return "reliability"; }
    std::optional<Observation> observe(const AgentEvent& event) override;

private:
    watch_a::GuardedCounter failures_;
    watch_a::GuardedCounter successes_;
};

// Personal-data markers in final outputs: "compliance". Answers every event.
class ComplianceWatcher final : public Observer {
public:
    std::string name() const override { return "compliance"; }
    std::string dimension() const override { return "compliance"; }
    std::optional<Observation> observe(const AgentEvent& event) override;

    static const std::vector<std::string>& personal_data_patterns();

private:
    watch_a::GuardedCounter pii_exposures_;
};

ObserverPtr make_token_watcher();
ObserverPtr make_cost_watcher();
ObserverPtr make_latency_watcher();
ObserverPtr make_accuracy_watcher();
ObserverPtr make_security_watcher();
ObserverPtr make_reliability_watcher();
ObserverPtr make_compliance_watcher();

}  // namespace tavri
