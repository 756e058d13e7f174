// Pipeline: the observe / detect / remediate engine of one harness run.
//
// feed() adds an event to the 500-event window. cycle() runs every observer
// over the whole window (oldest to newest, observer by observer), hands all
// observations to every detector, and offers each finding to the strategies
// in priority order until one answers. It returns the chosen interventions
// (always empty in dry-run, though findings and strategy answers are still
// recorded).
//
// Statistics are kept as running totals over every cycle. The cycle history
// itself keeps only the newest kHistoryLimit cycles, so a very long run
// does not grow memory without bound; stats() is exact regardless.
//
// A pipeline is owned by one thread; plug-ins are called one at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tavri/engine/event_bus.h"
#include "tavri/engine/registry.h"

namespace tavri {

struct PipelineCycle {
    std::optional<Intervention> intervention;  // last chosen, if any
    std::vector<Observation> observations;
    std::vector<DetectedIssue> detections;
    std::vector<StrategyResult> strategy_results;
    std::uint64_t duration_us = 0;
};

struct PipelineStats {
    std::uint64_t cycle_count = 0;
    std::uint64_t detection_count = 0;
    std::uint64_t intervention_count = 0;  // cycles that chose at least one intervention
    std::uint64_t avg_cycle_us = 0;
    bool operator==(const PipelineStats&) const = default;
};

class Pipeline {
public:
    static constexpr std::size_t kHistoryLimit = 256;

    Pipeline(std::shared_ptr<const PluginRegistry> registry, bool dry_run);

    void feed(const AgentEvent& event) { bus_.dispatch(event); }
    std::vector<Intervention> cycle(const std::string& agent_id);
    PipelineStats stats() const;

    const EventBus& bus() const { return bus_; }
    const std::deque<PipelineCycle>& history() const { return history_; }

private:
    std::shared_ptr<const PluginRegistry> registry_;
    bool dry_run_;
    EventBus bus_;
    std::deque<PipelineCycle> history_;
    std::uint64_t cycles_ = 0, detections_ = 0, intervening_cycles_ = 0, total_us_ = 0;
};

}  // namespace tavri
