#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "tavri/detectors/detectors_b.h"

namespace tavri {
namespace {

// Above this a resource is about to run out whatever its own threshold.
constexpr double kErrorPct = 95.0;

class ResourceExhaustionDetector final : public Detector {
public:
    ResourceExhaustionDetector(double disk_pct, double other_pct)
        : disk_pct_(disk_pct), other_pct_(other_pct) {}

    std::string name() const override { return "resource_exhaustion"; }
    std::string description() const override { return "Detects disk/memory/network exhaustion"; }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        std::vector<DetectedIssue> issues;
        for (const auto& obs : observations) {
            auto resource = json_str(obs, "resource");
            auto usage = json_f64(obs, "usage_pct");
            if (!resource || !usage) continue;
            // A full disk stops every tool at once, so it is flagged earlier.
            const double threshold = *resource == "disk" ? disk_pct_ : other_pct_;
            if (!(*usage > threshold)) continue;

            DetectedIssue issue;
            issue.agent_id = std::string(agent_id);
            issue.severity = *usage > kErrorPct ? Severity::Error : Severity::Warning;
            issue.confidence = std::min(*usage / threshold, 1.0);
            issue.description = fmt::format("{} usage at {:.0f}%", *resource, *usage);
            issue.evidence = fmt::format("{}: {:.0f}%", *resource, *usage);
            issue.suggested_strategies = {"compact", "pause"};
            issue.category = cat::ResourceExhaustion{std::move(*resource), *usage};
            issues.push_back(std::move(issue));
        }
        return issues;
    }

private:
    double disk_pct_;
    double other_pct_;
};

}  // namespace

DetectorPtr make_resource_exhaustion_detector(double warn_pct, double crit_pct) {
    return std::make_shared<ResourceExhaustionDetector>(warn_pct, crit_pct);
}

}  // namespace tavri
