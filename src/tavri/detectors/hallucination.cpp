#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "tavri/detectors/detectors_a.h"

namespace tavri {
namespace {

// True when the metadata query for the entry succeeds (symbolic links are
// followed, so a dangling link counts as missing).
bool entry_exists(const std::filesystem::path& base, const std::string& reference) {
    // An embedded NUL would silently truncate the path handed to the OS and
    // test some other file; no real file has such a name.
    if (reference.find('\0') != std::string::npos) return false;
    std::error_code ec;
    const auto status = std::filesystem::status(base / reference, ec);
    if (ec) return false;
    return std::filesystem::exists(status);
}

class HallucinationDetector final : public Detector {
public:
    explicit HallucinationDetector(std::string base_dir) : base_dir_(std::move(base_dir)) {}

    std::string name() const override { return "hallucination"; }
    std::string description() const override {
        return "Detects references to non-existent files/APIs";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        std::vector<DetectedIssue> issues;
        for (const auto& obs : observations) {
            auto reference = json_str(obs, "file_reference");
            if (!reference || entry_exists(base_dir_, *reference)) continue;
            DetectedIssue issue;
            issue.agent_id = std::string(agent_id);
            issue.category = cat::Hallucination{*reference, "file"};
            issue.severity = Severity::Warning;
            issue.confidence = 1.0;
            issue.description = fmt::format("Agent referenced non-existent file: {}", *reference);
            issue.evidence = fmt::format("File '{}' not found", *reference);
            issue.suggested_strategies = {"nudge"};
            issues.push_back(std::move(issue));
        }
        return issues;
    }

private:
    std::filesystem::path base_dir_;
};

}  // namespace

DetectorPtr make_hallucination_detector(std::string base_dir) {
    return std::make_shared<HallucinationDetector>(std::move(base_dir));
}

}  // namespace tavri
