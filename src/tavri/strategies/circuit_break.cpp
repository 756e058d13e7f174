#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

std::optional<StrategyResult> CircuitBreakStrategy::evaluate(const DetectedIssue& issue) {
    // Stopping the agent is reserved for harm that cannot wait for a softer
    // remedy: a leaked secret or a broken compliance rule, and only when the
    // detector itself rates it Critical.
    const bool grave_kind = std::holds_alternative<cat::SecretLeak>(issue.category) ||
                            std::holds_alternative<cat::ComplianceGap>(issue.category);
    if (issue.severity != Severity::Critical || !grave_kind) return std::nullopt;
    return StrategyResult{
        name(),
        iv::CircuitBreak{fmt::format("Critical issue detected: {} (confidence: {:.0f}%)", issue.description,
                                     issue.confidence * 100.0)},
        priority(),
        issue.confidence,
        fmt::format("Emergency stop triggered by {} severity {} issue", to_string(issue.severity),
                    issue.description),
    };
}

StrategyPtr make_circuit_break_strategy() { return std::make_shared<CircuitBreakStrategy>(); }

}  // namespace tavri
