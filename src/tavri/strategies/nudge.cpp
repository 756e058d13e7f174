#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

namespace {
// A hint the agent can act on: name the tool or file when the category
// carries one, otherwise repeat what the harness saw.
std::string nudge_message(const DetectedIssue& issue) {
    if (const auto* loop = std::get_if<cat::Loop>(&issue.category))
        return fmt::format(
            "Note: You've called '{}' multiple times without progress. Consider trying a different approach "
            "or proceeding with what you've already found.",
            loop->tool);
    if (const auto* stale = std::get_if<cat::StaleContext>(&issue.category))
        return fmt::format(
            "Note: '{}' is already in your context. You don't need to re-read it. Proceed with the "
            "information you already have.",
            stale->file_path);
    if (std::holds_alternative<cat::AccuracyRisk>(issue.category))
        return "Note: You've generated code but haven't run the tests yet. Run the tests before proceeding to "
               "the next step.";
    return fmt::format("Note: The harness detected: {}. Consider adjusting your approach.", issue.description);
}
}  // namespace

std::optional<StrategyResult> NudgeStrategy::evaluate(const DetectedIssue& issue) {
    return StrategyResult{
        name(),
        iv::Nudge{nudge_message(issue), issue.description},
        priority(),
        issue.confidence * 0.8,
        fmt::format("Injecting gentle hint for issue: {}", issue.description),
    };
}

StrategyPtr make_nudge_strategy() { return std::make_shared<NudgeStrategy>(); }

}  // namespace tavri
