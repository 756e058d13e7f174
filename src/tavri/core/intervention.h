// Interventions: the actions a strategy chooses and the harness hands back
// to an agent.
//
// Interventions have no JSON form; where the server reports one it uses the
// debug text, which is therefore an external format (see debug_text.h for
// the rules). Example: Compact { target_ratio: 0.6, layer: Microcompact }.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tavri/core/uuid.h"

namespace tavri {

enum class IsolationLevel : std::uint8_t { ToolRestrict, ContextRestrict, FullSandbox };
enum class CompressionLayer : std::uint8_t { Budget, Snip, Microcompact, Autocompact };
enum class DegradeLevel : std::uint8_t { Mild, Moderate, Severe };

const char* to_string(IsolationLevel v);
const char* to_string(CompressionLayer v);
const char* to_string(DegradeLevel v);

// Intervention variants, in declaration order.
namespace iv {
struct Nudge {
    std::string message, reason;
    bool operator==(const Nudge&) const = default;
};
struct Interject {
    std::string message, reason;
    bool operator==(const Interject&) const = default;
};
struct Compact {
    double target_ratio = 0;
    CompressionLayer layer = CompressionLayer::Budget;
    bool operator==(const Compact&) const = default;
};
struct Pause {
    std::string reason;
    Uuid checkpoint_id;
    bool operator==(const Pause&) const = default;
};
struct Resume {
    bool operator==(const Resume&) const = default;
};
struct Escalate {
    std::optional<std::string> new_model;
    std::optional<std::uint64_t> budget_increase;
    std::string reason;
    bool operator==(const Escalate&) const = default;
};
struct Fork {
    std::uint32_t count = 0;
    std::vector<std::string> subtasks;
    bool operator==(const Fork&) const = default;
};
struct Reroute {
    std::string to_node, reason;
    bool operator==(const Reroute&) const = default;
};
struct Rollback {
    Uuid checkpoint_id;
    std::string reason;
    bool operator==(const Rollback&) const = default;
};
struct Diversify {
    std::string alternative_approach;
    bool operator==(const Diversify&) const = default;
};
struct Isolate {
    IsolationLevel level = IsolationLevel::ToolRestrict;
    std::string reason;
    bool operator==(const Isolate&) const = default;
};
struct CircuitBreak {
    std::string reason;
    bool operator==(const CircuitBreak&) const = default;
};
struct Replace {
    std::string context_summary;
    std::optional<std::string> new_model;
    bool operator==(const Replace&) const = default;
};
struct Degrade {
    DegradeLevel level = DegradeLevel::Mild;
    bool operator==(const Degrade&) const = default;
};
struct Quarantine {
    std::string reason;
    bool operator==(const Quarantine&) const = default;
};
}  // namespace iv

using Intervention = std::variant<iv::Nudge, iv::Interject, iv::Compact, iv::Pause, iv::Resume, iv::Escalate,
                                  iv::Fork, iv::Reroute, iv::Rollback, iv::Diversify, iv::Isolate,
                                  iv::CircuitBreak, iv::Replace, iv::Degrade, iv::Quarantine>;

// "Nudge", "Compact", ... (the variant name).
const char* intervention_name(const Intervention& i);
std::string debug_text(const Intervention& i);

}  // namespace tavri
