#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "tavri/detectors/detectors_b.h"

namespace tavri {
namespace {

// Fewer turns than this leave too few second differences for their mean
// to say anything about a trend.
constexpr std::size_t kMinTurns = 6;

class RunawayCostDetector final : public Detector {
public:
    explicit RunawayCostDetector(double threshold) : threshold_(threshold) {}

    std::string name() const override { return "runaway_cost"; }
    std::string description() const override {
        return "Detects accelerating cost (2nd derivative)";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        const std::vector<double> costs = json_numbers(observations, "cost_per_turn");
        if (costs.size() < kMinTurns) return {};

        std::vector<double> first;
        first.reserve(costs.size() - 1);
        for (std::size_t i = 0; i + 1 < costs.size(); ++i) first.push_back(costs[i + 1] - costs[i]);
        double sum = 0;
        for (std::size_t i = 0; i + 1 < first.size(); ++i) sum += first[i + 1] - first[i];
        const double acceleration = sum / static_cast<double>(first.size() - 1);
        if (!(acceleration > threshold_)) return {};

        DetectedIssue issue;
        issue.agent_id = std::string(agent_id);
        issue.category = cat::RunawayCost{acceleration};
        issue.severity = acceleration > 2.0 * threshold_ ? Severity::Error : Severity::Warning;
        issue.confidence = std::min(acceleration / threshold_, 1.0);
        issue.description = fmt::format("Runaway cost: accelerating at ${:.4f}/turn²", acceleration);
        issue.evidence = fmt::format("Cost acceleration: {:.4f}", acceleration);
        issue.suggested_strategies = {"degrade", "circuit_break"};
        return {std::move(issue)};
    }

private:
    double threshold_;
};

}  // namespace

DetectorPtr make_runaway_cost_detector(double threshold) {
    return std::make_shared<RunawayCostDetector>(threshold);
}

}  // namespace tavri
