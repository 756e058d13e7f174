#include "tavri/engine/factory.h"

#include <fmt/format.h>

#include <functional>
#include <map>

#include "tavri/core/log.h"
#include "tavri/detectors/detectors_a.h"
#include "tavri/detectors/detectors_b.h"
#include "tavri/observers/observers_a.h"
#include "tavri/observers/observers_b.h"
#include "tavri/strategies/strategies.h"

namespace tavri {

namespace {

template <class Ptr>
using Table = std::map<std::string_view, std::function<Ptr()>>;

const Table<ObserverPtr>& observer_table() {
    static const Table<ObserverPtr> t = {
        {"token", make_token_watcher},
        {"latency", make_latency_watcher},
        {"cost", make_cost_watcher},
        {"accuracy", make_accuracy_watcher},
        {"security", make_security_watcher},
        {"reliability", make_reliability_watcher},
        {"context_quality", make_context_quality_watcher},
        {"orch", make_orch_watcher},
        {"comm", make_comm_watcher},
        {"compliance", make_compliance_watcher},
        {"memory", make_memory_watcher},
        {"diversity", make_diversity_watcher},
    };
    return t;
}

const Table<DetectorPtr>& detector_table() {
    static const Table<DetectorPtr> t = {
        {"loop", [] { return make_loop_detector(4, 10); }},
        {"stale_context", [] { return make_stale_context_detector(3, 0.85); }},
        {"cost_anomaly", [] { return make_cost_anomaly_detector(3.0); }},
        {"deadlock", [] { return make_deadlock_detector(60); }},
        {"hallucination", [] { return make_hallucination_detector("."); }},
        {"prompt_injection", [] { return make_prompt_injection_detector(); }},
        {"secret_leak", [] { return make_secret_leak_detector(); }},
        {"variety_collapse", [] { return make_variety_collapse_detector(0.85); }},
        {"conversation_stall", [] { return make_conversation_stall_detector(45); }},
        {"goal_drift", [] { return make_goal_drift_detector(0.4); }},
        {"model_mismatch", [] { return make_model_mismatch_detector(); }},
        {"accuracy_risk", [] { return make_accuracy_risk_detector(); }},
        {"runaway_cost", [] { return make_runaway_cost_detector(1.2); }},
        {"resource_exhaustion", [] { return make_resource_exhaustion_detector(80.0, 90.0); }},
        {"output_degradation", [] { return make_output_degradation_detector(0.3); }},
        {"compliance_gap", [] { return make_compliance_gap_detector(); }},
    };
    return t;
}

const Table<StrategyPtr>& strategy_table() {
    static const Table<StrategyPtr> t = {
        {"nudge", make_nudge_strategy},
        {"compact", [] { return make_compact_strategy(0.6); }},
        {"pause", make_pause_strategy},
        {"escalate", make_escalate_strategy},
        {"replace", make_replace_strategy},
        {"reroute", make_reroute_strategy},
        {"rollback", make_rollback_strategy},
        {"diversify", make_diversify_strategy},
        {"fork", make_fork_strategy},
        {"interject", make_interject_strategy},
        {"isolate", make_isolate_strategy},
        {"quarantine", make_quarantine_strategy},
        {"degrade", make_degrade_strategy},
        {"circuit_break", make_circuit_break_strategy},
    };
    return t;
}

template <class Ptr>
Ptr lookup(const Table<Ptr>& table, std::string_view name) {
    auto it = table.find(name);
    return it == table.end() ? nullptr : it->second();
}

template <class Ptr, class Register>
void register_all(const Table<Ptr>& table, const char* kind, const std::vector<std::string>& names,
                  Register&& reg) {
    for (const auto& name : names) {
        if (Ptr p = lookup(table, name)) {
            reg(std::move(p));
        } else {
            log::warn(fmt::format("Unknown {} '{}' \u2014 skipping", kind, name));
        }
    }
}

std::vector<std::string> to_strings(const std::vector<const char*>& v) { return {v.begin(), v.end()}; }

}  // namespace

ObserverPtr make_observer(std::string_view name) { return lookup(observer_table(), name); }
DetectorPtr make_detector(std::string_view name) { return lookup(detector_table(), name); }
StrategyPtr make_strategy(std::string_view name) { return lookup(strategy_table(), name); }

void register_observers(PluginRegistry& registry, const std::vector<std::string>& names) {
    register_all(observer_table(), "observer", names, [&](ObserverPtr p) { registry.register_observer(std::move(p)); });
}

void register_detectors(PluginRegistry& registry, const std::vector<std::string>& names) {
    register_all(detector_table(), "detector", names, [&](DetectorPtr p) { registry.register_detector(std::move(p)); });
}

void register_strategies(PluginRegistry& registry, const std::vector<std::string>& names) {
    register_all(strategy_table(), "strategy", names, [&](StrategyPtr p) { registry.register_strategy(std::move(p)); });
}

PluginRegistry build_registry_from_preset(Preset preset) {
    PluginRegistry registry;
    register_observers(registry, to_strings(preset_observers(preset)));
    register_detectors(registry, to_strings(preset_detectors(preset)));
    register_strategies(registry, to_strings(preset_strategies(preset)));
    return registry;
}

}  // namespace tavri
