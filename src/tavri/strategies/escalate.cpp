#include <fmt/format.h>

#include "tavri/strategies/strategies.h"

namespace tavri {

namespace {
constexpr const char* kDefaultModel = "claude-sonnet-4-6";
constexpr std::uint64_t kBudgetIncrease = 50000;
}  // namespace

std::optional<StrategyResult> EscalateStrategy::evaluate(const DetectedIssue& issue) {
    // A model mismatch already names the model the task needs; every other
    // finding gets the general-purpose upgrade.
    std::string model = kDefaultModel;
    if (const auto* mm = std::get_if<cat::ModelMismatch>(&issue.category)) model = mm->recommended_model;
    return StrategyResult{
        name(),
        iv::Escalate{std::move(model), kBudgetIncrease, issue.description},
        priority(),
        issue.confidence,
        fmt::format("Escalating resources for: {}", issue.description),
    };
}

StrategyPtr make_escalate_strategy() { return std::make_shared<EscalateStrategy>(); }

}  // namespace tavri
