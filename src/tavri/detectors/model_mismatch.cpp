#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "tavri/core/text.h"
#include "tavri/detectors/detectors_a.h"

namespace tavri {
namespace {

constexpr std::array<std::string_view, 7> kComplexityKeywords{
    "refactor", "architecture", "security", "migrate", "implement", "design", "optimize"};
// Case-sensitive on purpose: model ids are lower case.
constexpr std::array<std::string_view, 3> kCheapModelMarkers{"haiku", "flash", "mini"};
constexpr std::string_view kRecommendedModel = "claude-sonnet-4-6";

bool contains_any(std::string_view haystack, const auto& needles) {
    return std::any_of(needles.begin(), needles.end(), [&](std::string_view n) {
        return haystack.find(n) != std::string_view::npos;
    });
}

class ModelMismatchDetector final : public Detector {
public:
    std::string name() const override { return "model_mismatch"; }
    std::string description() const override { return "Detects wrong model for task complexity"; }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        for (const auto& obs : observations) {
            auto task = json_str(obs, "task");
            auto model = json_str(obs, "model");
            if (!task || !model) continue;
            if (!contains_any(text::to_lower(*task), kComplexityKeywords)) continue;
            if (!contains_any(*model, kCheapModelMarkers)) continue;

            DetectedIssue issue;
            issue.agent_id = std::string(agent_id);
            issue.category = cat::ModelMismatch{"complex", *model, std::string(kRecommendedModel)};
            issue.severity = Severity::Warning;
            issue.confidence = 0.85;
            issue.description =
                fmt::format("Complex task '{}' assigned to cheap model {}", *task, *model);
            issue.evidence = fmt::format("Task complexity mismatch: {} on {}", *task, *model);
            issue.suggested_strategies = {"escalate"};
            return {std::move(issue)};
        }
        return {};
    }
};

}  // namespace

DetectorPtr make_model_mismatch_detector() { return std::make_shared<ModelMismatchDetector>(); }

}  // namespace tavri
