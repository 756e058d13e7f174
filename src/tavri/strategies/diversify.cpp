#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

std::optional<StrategyResult> DiversifyStrategy::evaluate(const DetectedIssue& issue) {
    if (!std::holds_alternative<cat::VarietyCollapse>(issue.category)) return std::nullopt;
    return StrategyResult{
        name(),
        iv::Diversify{"Try a completely different approach. MVP-first → Risk-first → User-first"},
        priority(),
        issue.confidence,
        fmt::format("Forcing diverse strategies: {}", issue.description),
    };
}

StrategyPtr make_diversify_strategy() { return std::make_shared<DiversifyStrategy>(); }

}  // namespace tavri
