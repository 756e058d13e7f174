#include "tavri/server/harness_config.h"

namespace tavri::server {

const std::vector<std::string>& all_observers() {
    static const std::vector<std::string> v{"token",       "latency",         "cost", "accuracy",
                                            "security",    "reliability",     "context_quality",
                                            "orch",        "comm",            "compliance",
                                            "memory",      "diversity"};
    return v;
}

const std::vector<std::string>& all_detectors() {
    static const std::vector<std::string> v{
        "loop",          "stale_context",      "cost_anomaly",       "deadlock",
        "hallucination", "prompt_injection",   "secret_leak",        "variety_collapse",
        "conversation_stall", "goal_drift",    "model_mismatch",     "accuracy_risk",
        "runaway_cost",  "resource_exhaustion", "output_degradation", "compliance_gap"};
    return v;
}

const std::vector<std::string>& all_strategies() {
    static const std::vector<std::string> v{"nudge",    "compact",  "pause",     "escalate", "fork",
                                            "reroute",  "rollback", "diversify", "isolate",  "circuit_break",
                                            "replace",  "interject", "degrade",  "quarantine"};
    return v;
}

HarnessConfigState HarnessConfigState::defaults() {
    HarnessConfigState s;
    s.observers = all_observers();
    s.detectors = all_detectors();
    s.strategies = all_strategies();
    return s;
}

}  // namespace tavri::server
