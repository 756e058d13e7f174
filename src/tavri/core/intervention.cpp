#include "tavri/core/intervention.h"

#include "tavri/core/debug_text.h"

namespace tavri {

namespace {
const char* const kNames[15] = {"Nudge",    "Interject", "Compact",   "Pause",        "Resume",
                                "Escalate", "Fork",      "Reroute",   "Rollback",     "Diversify",
                                "Isolate",  "CircuitBreak", "Replace", "Degrade",     "Quarantine"};
}

const char* to_string(IsolationLevel v) {
    static const char* const n[] = {"ToolRestrict", "ContextRestrict", "FullSandbox"};
    return n[static_cast<int>(v)];
}
const char* to_string(CompressionLayer v) {
    static const char* const n[] = {"Budget", "Snip", "Microcompact", "Autocompact"};
    return n[static_cast<int>(v)];
}
const char* to_string(DegradeLevel v) {
    static const char* const n[] = {"Mild", "Moderate", "Severe"};
    return n[static_cast<int>(v)];
}

const char* intervention_name(const Intervention& i) { return kNames[i.index()]; }

std::string debug_text(const Intervention& i) {
    debug::Record r(intervention_name(i));
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, iv::Nudge> || std::is_same_v<T, iv::Interject>) {
                r.str("message", v.message).str("reason", v.reason);
            } else if constexpr (std::is_same_v<T, iv::Compact>) {
                r.f64("target_ratio", v.target_ratio).field("layer", to_string(v.layer));
            } else if constexpr (std::is_same_v<T, iv::Pause>) {
                r.str("reason", v.reason).field("checkpoint_id", v.checkpoint_id.str());
            } else if constexpr (std::is_same_v<T, iv::Escalate>) {
                r.field("new_model", debug::optional_text(v.new_model))
                    .field("budget_increase", debug::optional_u64(v.budget_increase))
                    .str("reason", v.reason);
            } else if constexpr (std::is_same_v<T, iv::Fork>) {
                r.u64("count", v.count).field("subtasks", debug::text_list(v.subtasks));
            } else if constexpr (std::is_same_v<T, iv::Reroute>) {
                r.str("to_node", v.to_node).str("reason", v.reason);
            } else if constexpr (std::is_same_v<T, iv::Rollback>) {
                r.field("checkpoint_id", v.checkpoint_id.str()).str("reason", v.reason);
            } else if constexpr (std::is_same_v<T, iv::Diversify>) {
                r.str("alternative_approach", v.alternative_approach);
            } else if constexpr (std::is_same_v<T, iv::Isolate>) {
                r.field("level", to_string(v.level)).str("reason", v.reason);
            } else if constexpr (std::is_same_v<T, iv::CircuitBreak> || std::is_same_v<T, iv::Quarantine>) {
                r.str("reason", v.reason);
            } else if constexpr (std::is_same_v<T, iv::Replace>) {
                r.str("context_summary", v.context_summary).field("new_model", debug::optional_text(v.new_model));
            } else if constexpr (std::is_same_v<T, iv::Degrade>) {
                r.field("level", to_string(v.level));
            }
        },
        i);
    return r.done();
}

}  // namespace tavri
