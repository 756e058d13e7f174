#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

std::optional<StrategyResult> RollbackStrategy::evaluate(const DetectedIssue& issue) {
    return StrategyResult{
        name(),
        iv::Rollback{Uuid::v4(), issue.description},
        priority(),
        issue.confidence,
        fmt::format("Rolling back: {}", issue.description),
    };
}

StrategyPtr make_rollback_strategy() { return std::make_shared<RollbackStrategy>(); }

}  // namespace tavri
