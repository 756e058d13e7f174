#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

std::optional<StrategyResult> ForkStrategy::evaluate(const DetectedIssue& issue) {
    // Splitting work helps only some failures, hence the lower confidence.
    return StrategyResult{
        name(),
        iv::Fork{2, {"implement", "verify"}},
        priority(),
        issue.confidence * 0.7,
        fmt::format("Forking for parallel execution: {}", issue.description),
    };
}

StrategyPtr make_fork_strategy() { return std::make_shared<ForkStrategy>(); }

}  // namespace tavri
