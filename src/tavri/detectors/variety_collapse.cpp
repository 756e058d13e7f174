#include <algorithm>
#include <string>

#include <fmt/format.h>

#include "tavri/core/text.h"
#include "tavri/detectors/detectors_a.h"

namespace tavri {
namespace {

constexpr std::size_t kComparedBytes = 200;

class VarietyCollapseDetector final : public Detector {
public:
    explicit VarietyCollapseDetector(double threshold) : threshold_(threshold) {}

    std::string name() const override { return "variety_collapse"; }
    std::string description() const override {
        return "Detects when agents produce near-identical outputs";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        std::vector<std::string> outputs;
        for (const auto& obs : observations)
            if (auto out = json_str(obs, "agent_output")) outputs.push_back(std::move(*out));
        const std::uint64_t n = outputs.size();
        if (n < 3) return {};

        std::vector<std::string_view> heads;
        heads.reserve(outputs.size());
        for (const auto& o : outputs) heads.push_back(text::prefix_bytes(o, kComparedBytes));

        std::uint64_t similar = 0;
        for (std::size_t i = 0; i < heads.size(); ++i)
            for (std::size_t j = i + 1; j < heads.size(); ++j)
                if (!outputs[i].empty() && !outputs[j].empty() && heads[i] == heads[j]) ++similar;

        const std::uint64_t pairs = n * (n - 1) / 2;
        const double ratio =
            static_cast<double>(similar) / static_cast<double>(std::max<std::uint64_t>(pairs, 1));
        if (!(ratio > threshold_)) return {};

        DetectedIssue issue;
        issue.agent_id = std::string(agent_id);
        issue.category = cat::VarietyCollapse{ratio, n};
        issue.severity = Severity::Warning;
        issue.confidence = ratio;
        issue.description = fmt::format("{} agents near-identical ({:.0f}%)", n, ratio * 100.0);
        issue.evidence = fmt::format("{}/{} pairs similar", similar, pairs);
        issue.suggested_strategies = {"diversify"};
        return {std::move(issue)};
    }

private:
    double threshold_;
};

}  // namespace

DetectorPtr make_variety_collapse_detector(double similarity_threshold) {
    return std::make_shared<VarietyCollapseDetector>(similarity_threshold);
}

}  // namespace tavri
