#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "tavri/detectors/detectors_b.h"

namespace tavri {
namespace {

// The baseline is the session's opening turns rather than a running mean:
// a gradual climb would otherwise drag the baseline up with it and hide
// the spike this detector exists to catch.
constexpr std::size_t kBaselineTurns = 5;

class CostAnomalyDetector final : public Detector {
public:
    explicit CostAnomalyDetector(double multiplier) : multiplier_(multiplier) {}

    std::string name() const override { return "cost_anomaly"; }
    std::string description() const override {
        return "Detects cost spikes vs historical baseline";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        const std::vector<double> costs = json_numbers(observations, "cost_per_turn");
        if (costs.size() < kBaselineTurns) return {};

        double sum = 0;
        for (std::size_t i = 0; i < kBaselineTurns; ++i) sum += costs[i];
        const double baseline = sum / static_cast<double>(kBaselineTurns);
        const double latest = costs.back();
        if (!(baseline > 0) || !(latest > baseline * multiplier_)) return {};

        const double ratio = latest / baseline;
        DetectedIssue issue;
        issue.agent_id = std::string(agent_id);
        issue.category = cat::CostAnomaly{baseline, latest, ratio};
        issue.severity = ratio > 5.0 ? Severity::Error : Severity::Warning;
        issue.confidence = std::min((ratio - 1.0) / multiplier_, 1.0);
        issue.description = fmt::format("Cost spike: ${:.4f} vs avg ${:.4f}", latest, baseline);
        issue.evidence = fmt::format("Cost {:.1f}x baseline", ratio);
        issue.suggested_strategies = {"degrade", "escalate"};
        return {std::move(issue)};
    }

private:
    double multiplier_;
};

}  // namespace

DetectorPtr make_cost_anomaly_detector(double multiplier) {
    return std::make_shared<CostAnomalyDetector>(multiplier);
}

}  // namespace tavri
