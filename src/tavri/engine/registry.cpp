#include "tavri/engine/registry.h"

#include <algorithm>

namespace tavri {

void PluginRegistry::register_observer(ObserverPtr observer) {
    std::string key = observer->name();
    observers_[std::move(key)] = std::move(observer);
}

void PluginRegistry::register_detector(DetectorPtr detector) {
    std::string key = detector->name();
    detectors_[std::move(key)] = std::move(detector);
}

void PluginRegistry::register_strategy(StrategyPtr strategy) {
    strategies_.push_back(std::move(strategy));
    std::stable_sort(strategies_.begin(), strategies_.end(),
                     [](const StrategyPtr& a, const StrategyPtr& b) { return a->priority() > b->priority(); });
}

std::vector<ObserverPtr> PluginRegistry::observers() const {
    std::vector<ObserverPtr> out;
    out.reserve(observers_.size());
    for (const auto& [_, o] : observers_) out.push_back(o);
    return out;
}

std::vector<DetectorPtr> PluginRegistry::detectors() const {
    std::vector<DetectorPtr> out;
    out.reserve(detectors_.size());
    for (const auto& [_, d] : detectors_) out.push_back(d);
    return out;
}

}  // namespace tavri
