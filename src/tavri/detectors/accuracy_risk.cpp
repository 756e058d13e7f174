#include <algorithm>
#include <string>

#include "tavri/detectors/detectors_a.h"

namespace tavri {
namespace {

class AccuracyRiskDetector final : public Detector {
public:
    std::string name() const override { return "accuracy_risk"; }
    std::string description() const override {
        return "Detects generated code without tests or verification";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        bool wrote = false;
        bool tested = false;
        for (const auto& obs : observations) {
            if (json_str(obs, "tool") == "write") wrote = true;
            // Any command line naming a test (pytest, cargo test, ...) counts.
            if (auto content = json_str(obs, "content");
                content && content->find("test") != std::string::npos)
                tested = true;
        }
        if (!wrote || tested) return {};

        DetectedIssue issue;
        issue.agent_id = std::string(agent_id);
        issue.category = cat::AccuracyRisk{{"no_tests"}};
        issue.severity = Severity::Warning;
        issue.confidence = 0.8;
        issue.description = "Code generated but no tests executed";
        issue.evidence = "WriteFile without subsequent test execution";
        issue.suggested_strategies = {"nudge"};
        return {std::move(issue)};
    }
};

}  // namespace

DetectorPtr make_accuracy_risk_detector() { return std::make_shared<AccuracyRiskDetector>(); }

}  // namespace tavri
