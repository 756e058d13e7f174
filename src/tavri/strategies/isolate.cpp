#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

std::optional<StrategyResult> IsolateStrategy::evaluate(const DetectedIssue& issue) {
    // ContextRestrict is deliberately unused: an Error only needs the tools
    // taken away, a Critical finding warrants the full sandbox.
    IsolationLevel level;
    switch (issue.severity) {
        case Severity::Error: level = IsolationLevel::ToolRestrict; break;
        case Severity::Critical: level = IsolationLevel::FullSandbox; break;
        default: return std::nullopt;
    }
    return StrategyResult{
        name(),
        iv::Isolate{level, issue.description},
        priority(),
        issue.confidence,
        fmt::format("Isolating agent: {}", issue.description),
    };
}

StrategyPtr make_isolate_strategy() { return std::make_shared<IsolateStrategy>(); }

}  // namespace tavri
