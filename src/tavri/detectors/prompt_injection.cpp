#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "tavri/core/text.h"
#include "tavri/detectors/detectors_a.h"

namespace tavri {
namespace {

constexpr std::array<std::string_view, 10> kInjectionPhrases{
    "ignore previous instructions", "ignore all previous", "you are now DAN",
    "system override",              "new instructions:",   "forget everything",
    "pretend you are",              "disregard",           "override system prompt",
    "bypass",
};

class PromptInjectionDetector final : public Detector {
public:
    PromptInjectionDetector() {
        for (std::size_t i = 0; i < kInjectionPhrases.size(); ++i)
            lowered_[i] = text::to_lower(kInjectionPhrases[i]);
    }

    std::string name() const override { return "prompt_injection"; }
    std::string description() const override {
        return "Detects attempts to override system instructions";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        std::vector<DetectedIssue> issues;
        for (const auto& obs : observations) {
            auto content = json_str(obs, "content");
            if (!content || content->empty()) continue;
            const std::string lower = text::to_lower(*content);

            // Findings quote the phrases in their listed spelling.
            std::vector<std::string_view> matched;
            for (std::size_t i = 0; i < kInjectionPhrases.size(); ++i)
                if (lower.find(lowered_[i]) != std::string::npos)
                    matched.push_back(kInjectionPhrases[i]);
            if (matched.empty()) continue;

            DetectedIssue issue;
            issue.agent_id = std::string(agent_id);
            issue.category = cat::PromptInjection{fmt::format("{}", fmt::join(matched, ", "))};
            issue.severity = Severity::Error;
            issue.confidence = std::min(static_cast<double>(matched.size()) * 0.5, 1.0);
            issue.description = fmt::format("Prompt injection: '{}' pattern matched", matched.front());
            issue.evidence = fmt::format("{} patterns matched", matched.size());
            issue.suggested_strategies = {"circuit_break", "pause"};
            issues.push_back(std::move(issue));
        }
        return issues;
    }

private:
    std::array<std::string, kInjectionPhrases.size()> lowered_;
};

}  // namespace

DetectorPtr make_prompt_injection_detector() { return std::make_shared<PromptInjectionDetector>(); }

}  // namespace tavri
