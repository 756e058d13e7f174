#include <string>

#include <fmt/format.h>

#include "tavri/detectors/detectors_a.h"

namespace tavri {
namespace {

class ComplianceGapDetector final : public Detector {
public:
    std::string name() const override { return "compliance_gap"; }
    std::string description() const override {
        return "Detects skipped human gates, audit gaps, PII exposure";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        std::vector<DetectedIssue> issues;
        for (const auto& obs : observations) {
            auto gap = json_str(obs, "compliance_gap");
            if (!gap) continue;
            DetectedIssue issue;
            issue.agent_id = std::string(agent_id);
            issue.category = cat::ComplianceGap{*gap};
            issue.severity = Severity::Critical;
            issue.confidence = 1.0;
            issue.description = fmt::format("Compliance gap: {}", *gap);
            issue.evidence = fmt::format("Gap detected: {}", *gap);
            issue.suggested_strategies = {"circuit_break", "pause", "quarantine"};
            issues.push_back(std::move(issue));
        }
        return issues;
    }
};

}  // namespace

DetectorPtr make_compliance_gap_detector() { return std::make_shared<ComplianceGapDetector>(); }

}  // namespace tavri
