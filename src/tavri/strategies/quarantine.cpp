#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

std::optional<StrategyResult> QuarantineStrategy::evaluate(const DetectedIssue& issue) {
    // Only output that may carry a secret or break a compliance rule needs
    // holding back; other findings are about behaviour, not output.
    if (!std::holds_alternative<cat::SecretLeak>(issue.category) &&
        !std::holds_alternative<cat::ComplianceGap>(issue.category))
        return std::nullopt;
    return StrategyResult{
        name(),
        iv::Quarantine{issue.description},
        priority(),
        issue.confidence,
        fmt::format("Quarantining output: {}", issue.description),
    };
}

StrategyPtr make_quarantine_strategy() { return std::make_shared<QuarantineStrategy>(); }

}  // namespace tavri
