#include <algorithm>
#include <map>
#include <string>

#include <fmt/format.h>

#include "tavri/detectors/detectors_a.h"

namespace tavri {
namespace {

class LoopDetector final : public Detector {
public:
    LoopDetector(std::uint32_t threshold, std::uint32_t window)
        : threshold_(threshold), window_(window) {}

    std::string name() const override { return "loop"; }
    std::string description() const override {
        return "Detects when an agent calls the same tool repeatedly without progress";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        // A sorted map keeps the issue order stable between runs.
        std::map<std::string, std::uint64_t> counts;
        for (const auto& obs : observations)
            if (auto tool = json_str(obs, "tool_name")) ++counts[*tool];

        const std::uint64_t threshold = threshold_;
        std::vector<DetectedIssue> issues;
        for (const auto& [tool, count] : counts) {
            if (count < threshold) continue;
            DetectedIssue issue;
            issue.agent_id = std::string(agent_id);
            issue.category = cat::Loop{tool, count, count};
            issue.severity = count >= 2 * threshold ? Severity::Error : Severity::Warning;
            // A zero threshold would divide by zero; every count reaches it.
            issue.confidence = threshold == 0
                                   ? 1.0
                                   : std::min(static_cast<double>(count) / threshold, 1.0);
            issue.description = fmt::format("Agent called '{}' {} times in {} turns — possible loop",
                                            tool, count, window_);
            issue.evidence = fmt::format("Tool '{}' called {} times, threshold={}", tool, count,
                                         threshold_);
            issue.suggested_strategies = {"nudge", "interject", "replace"};
            issues.push_back(std::move(issue));
        }
        return issues;
    }

private:
    std::uint32_t threshold_;
    std::uint32_t window_;
};

}  // namespace

DetectorPtr make_loop_detector(std::uint32_t threshold, std::uint32_t window) {
    return std::make_shared<LoopDetector>(threshold, window);
}

}  // namespace tavri
