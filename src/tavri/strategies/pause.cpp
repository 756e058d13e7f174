#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

std::optional<StrategyResult> PauseStrategy::evaluate(const DetectedIssue& issue) {
    // A human is worth interrupting for anything Critical, and for any
    // finding the detector is nearly sure of; 0.9 itself counts.
    if (issue.severity != Severity::Critical && !(issue.confidence >= 0.9)) return std::nullopt;
    // Each pause gets its own checkpoint so a later resume or rollback can
    // name exactly this stopping point.
    return StrategyResult{
        name(),
        iv::Pause{issue.description, Uuid::v4()},
        priority(),
        issue.confidence,
        fmt::format("Pausing for human review: {}", issue.description),
    };
}

StrategyPtr make_pause_strategy() { return std::make_shared<PauseStrategy>(); }

}  // namespace tavri
