#include <string>

#include <fmt/format.h>

#include "tavri/core/text.h"
#include "tavri/detectors/detectors_a.h"

namespace tavri {
namespace {

// Deliberately coarse: the same opening 50 bytes counts as on-goal,
// anything else as drifted.
double prefix_similarity(std::string_view original, std::string_view current) {
    constexpr double kDrifted = 0.3;
    if (original.empty() || current.empty()) return kDrifted;
    return text::prefix_bytes(original, 50) == text::prefix_bytes(current, 50) ? 1.0 : kDrifted;
}

class GoalDriftDetector final : public Detector {
public:
    explicit GoalDriftDetector(double threshold) : threshold_(threshold) {}

    std::string name() const override { return "goal_drift"; }
    std::string description() const override {
        return "Detects when agent diverges from original task";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        if (observations.empty()) return {};
        auto original = json_str(observations.front(), "original_task");
        auto current = json_str(observations.back(), "current_output");
        if (!original || !current) return {};

        const double similarity = prefix_similarity(*original, *current);
        if (!(threshold_ > similarity)) return {};

        DetectedIssue issue;
        issue.agent_id = std::string(agent_id);
        issue.category = cat::GoalDrift{similarity};
        issue.severity = Severity::Warning;
        issue.confidence = 1.0 - similarity;
        issue.description =
            fmt::format("Agent drifted from goal (similarity: {:.0f}%)", similarity * 100.0);
        issue.evidence = fmt::format("Task similarity dropped to {:.0f}%", similarity * 100.0);
        issue.suggested_strategies = {"nudge", "interject"};
        return {std::move(issue)};
    }

private:
    double threshold_;
};

}  // namespace

DetectorPtr make_goal_drift_detector(double similarity_threshold) {
    return std::make_shared<GoalDriftDetector>(similarity_threshold);
}

}  // namespace tavri
