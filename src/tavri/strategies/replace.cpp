#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

std::optional<StrategyResult> ReplaceStrategy::evaluate(const DetectedIssue& issue) {
    // Swapping the agent is a blunt remedy whatever the finding, so its
    // confidence is discounted below the detector's.
    return StrategyResult{
        name(),
        iv::Replace{fmt::format("Previous agent failed: {}", issue.description), std::string("claude-opus-4-8")},
        priority(),
        issue.confidence * 0.85,
        fmt::format("Replacing failed agent: {}", issue.description),
    };
}

StrategyPtr make_replace_strategy() { return std::make_shared<ReplaceStrategy>(); }

}  // namespace tavri
