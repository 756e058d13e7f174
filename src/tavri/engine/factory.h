// The factory: fills a registry from plug-in names.
//
// Three name tables (observers, detectors, strategies) map each known name
// to a constructor with the values the harness uses (loop threshold 4 over
// a window of 10, compaction target 0.6, ...). Names are compared exactly;
// an unknown name is logged at warning level ("Unknown observer 'x' —
// skipping") and skipped. Nothing fails.
#pragma once

#include <string>
#include <vector>

#include "tavri/core/presets.h"
#include "tavri/engine/registry.h"

namespace tavri {

void register_observers(PluginRegistry& registry, const std::vector<std::string>& names);
void register_detectors(PluginRegistry& registry, const std::vector<std::string>& names);
void register_strategies(PluginRegistry& registry, const std::vector<std::string>& names);

PluginRegistry build_registry_from_preset(Preset preset);

// Single lookups (nothing for an unknown name, no warning).
ObserverPtr make_observer(std::string_view name);
DetectorPtr make_detector(std::string_view name);
StrategyPtr make_strategy(std::string_view name);

}  // namespace tavri
