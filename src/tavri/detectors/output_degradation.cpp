#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "tavri/detectors/detectors_b.h"

namespace tavri {
namespace {

// The trend is judged over the last three turns (four scores); older
// scores are ignored so an early dip does not mask a recovery.
constexpr std::size_t kScores = 4;
constexpr std::uint64_t kTurns = kScores - 1;

class OutputDegradationDetector final : public Detector {
public:
    explicit OutputDegradationDetector(double threshold) : threshold_(threshold) {}

    std::string name() const override { return "output_degradation"; }
    std::string description() const override {
        return "Detects declining output quality over time";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        const std::vector<double> scores = json_numbers(observations, "quality_score");
        if (scores.size() < kScores) return {};

        const double* q = scores.data() + (scores.size() - kScores);
        const double slope = ((q[1] - q[0]) + (q[2] - q[1]) + (q[3] - q[2])) / static_cast<double>(kTurns);
        const double decline = -slope;
        if (!(decline > threshold_)) return {};

        DetectedIssue issue;
        issue.agent_id = std::string(agent_id);
        issue.category = cat::OutputDegradation{slope, kTurns};
        issue.severity = decline > 2.0 * threshold_ ? Severity::Error : Severity::Warning;
        issue.confidence = std::min(decline / threshold_, 1.0);
        issue.description = fmt::format("Output quality declining ({:.2f}/turn)", decline);
        issue.evidence = fmt::format("Quality decline: {:.2f}/turn over 3 turns", decline);
        issue.suggested_strategies = {"replace", "compact"};
        return {std::move(issue)};
    }

private:
    double threshold_;
};

}  // namespace

DetectorPtr make_output_degradation_detector(double threshold) {
    return std::make_shared<OutputDegradationDetector>(threshold);
}

}  // namespace tavri
