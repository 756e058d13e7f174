#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

std::optional<StrategyResult> RerouteStrategy::evaluate(const DetectedIssue& issue) {
    // Whatever went wrong, the safe next stop is verification.
    return StrategyResult{
        name(),
        iv::Reroute{"verify", issue.description},
        priority(),
        issue.confidence,
        fmt::format("Rerouting agent: {}", issue.description),
    };
}

StrategyPtr make_reroute_strategy() { return std::make_shared<RerouteStrategy>(); }

}  // namespace tavri
