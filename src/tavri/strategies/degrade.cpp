#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

std::optional<StrategyResult> DegradeStrategy::evaluate(const DetectedIssue& issue) {
    return StrategyResult{
        name(),
        iv::Degrade{DegradeLevel::Mild},
        priority(),
        issue.confidence,
        fmt::format("Degrading to reduce cost: {}", issue.description),
    };
}

StrategyPtr make_degrade_strategy() { return std::make_shared<DegradeStrategy>(); }

}  // namespace tavri
