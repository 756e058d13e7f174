#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <fmt/format.h>

#include "tavri/detectors/detectors_b.h"

namespace tavri {
namespace {

constexpr double kErrorPressure = 0.95;

class StaleContextDetector final : public Detector {
public:
    StaleContextDetector(std::uint64_t max_reads, double pressure_threshold)
        : max_reads_(max_reads), pressure_threshold_(pressure_threshold) {}

    std::string name() const override { return "stale_context"; }
    std::string description() const override {
        return "Detects duplicate file reads and high context pressure";
    }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        // Held for the whole call so that concurrent cycles see each other's
        // reads in one order and a count is never skipped or reported twice.
        std::lock_guard lock(mu_);
        std::vector<DetectedIssue> issues;
        for (const auto& obs : observations) {
            if (auto path = json_str(obs, "file_path")) {
                const std::uint64_t count = ++read_counts_[*path];
                if (count >= max_reads_) issues.push_back(reread_issue(agent_id, *path, count));
            }
            if (auto pressure = json_f64(obs, "context_pressure");
                pressure && *pressure > pressure_threshold_) {
                issues.push_back(pressure_issue(agent_id, *pressure));
            }
        }
        return issues;
    }

private:
    DetectedIssue reread_issue(std::string_view agent_id, const std::string& path,
                               std::uint64_t count) const {
        const double ratio = static_cast<double>(count) / static_cast<double>(max_reads_);
        DetectedIssue issue;
        issue.agent_id = std::string(agent_id);
        // Halving the count instead of doubling the maximum cannot overflow.
        issue.severity = count / 2 >= max_reads_ ? Severity::Error : Severity::Warning;
        issue.confidence = std::min(ratio, 1.0);
        issue.description = fmt::format("File '{}' read {} times — context may be stale", path, count);
        issue.evidence = fmt::format("File read {} times", count);
        issue.suggested_strategies = {"compact", "nudge"};
        issue.category = cat::StaleContext{path, 0.0, count};
        return issue;
    }

    DetectedIssue pressure_issue(std::string_view agent_id, double pressure) const {
        DetectedIssue issue;
        issue.agent_id = std::string(agent_id);
        issue.severity = pressure > kErrorPressure ? Severity::Error : Severity::Warning;
        issue.confidence = std::min(pressure, 1.0);
        issue.description =
            fmt::format("Context pressure at {:.0f}% — compaction needed", pressure * 100.0);
        issue.evidence = fmt::format("Context pressure: {:.0f}%", pressure * 100.0);
        issue.suggested_strategies = {"compact"};
        issue.category = cat::StaleContext{"n/a", pressure, 0};
        return issue;
    }

    const std::uint64_t max_reads_;
    const double pressure_threshold_;
    std::mutex mu_;
    // Never trimmed: a file stays "already read" for the life of the
    // instance, across cycles and (in the server) across sessions.
    std::unordered_map<std::string, std::uint64_t> read_counts_;
};

}  // namespace

DetectorPtr make_stale_context_detector(std::uint64_t max_reads, double pressure_threshold) {
    return std::make_shared<StaleContextDetector>(max_reads, pressure_threshold);
}

}  // namespace tavri
