#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

std::optional<StrategyResult> InterjectStrategy::evaluate(const DetectedIssue& issue) {
    return StrategyResult{
        name(),
        iv::Interject{
            fmt::format("STOP. The harness detected: {}. Change your approach immediately.", issue.description),
            issue.description},
        priority(),
        issue.confidence,
        fmt::format("Strong interjection for: {}", issue.description),
    };
}

StrategyPtr make_interject_strategy() { return std::make_shared<InterjectStrategy>(); }

}  // namespace tavri
