// PluginRegistry: the observers, detectors and strategies one harness runs.
//
// Observers and detectors are keyed by name (a later one with the same name
// replaces the earlier); their iteration order is unspecified. Strategies
// are kept sorted by priority, highest first, with a stable sort so equal
// priorities keep their registration order: the pipeline offers each
// finding to them in that order.
//
// A registry is filled once and then shared read-only; it has no lock.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "tavri/core/plugin.h"

namespace tavri {

class PluginRegistry {
public:
    void register_observer(ObserverPtr observer);
    void register_detector(DetectorPtr detector);
    void register_strategy(StrategyPtr strategy);

    // Snapshots: later registrations do not change the returned lists.
    std::vector<ObserverPtr> observers() const;
    std::vector<DetectorPtr> detectors() const;
    // In consultation order (priority descending, ties in registration order).
    const std::vector<StrategyPtr>& strategies() const { return strategies_; }

    std::size_t observer_count() const { return observers_.size(); }
    std::size_t detector_count() const { return detectors_.size(); }
    std::size_t strategy_count() const { return strategies_.size(); }

private:
    std::unordered_map<std::string, ObserverPtr> observers_;
    std::unordered_map<std::string, DetectorPtr> detectors_;
    std::vector<StrategyPtr> strategies_;
};

}  // namespace tavri
