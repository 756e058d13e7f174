#include <map>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "tavri/detectors/detectors_a.h"

namespace tavri {
namespace {

class DeadlockDetector final : public Detector {
public:
    explicit DeadlockDetector(std::uint64_t timeout_secs) : timeout_secs_(timeout_secs) {}

    std::string name() const override { return "deadlock"; }
    std::string description() const override { return "Detects circular wait between agents"; }

    std::vector<DetectedIssue> detect(std::string_view agent_id,
                                      const std::vector<Observation>& observations) override {
        // Only the latest wait of each agent matters; later observations win.
        std::map<std::string, std::pair<std::string, std::uint64_t>> waits;
        for (const auto& obs : observations) {
            auto waiting = json_str(obs, "waiting_agent");
            auto target = json_str(obs, "waiting_for");
            auto secs = json_u64(obs, "wait_duration_secs");
            if (!waiting || !target || !secs) continue;
            waits[*waiting] = {*target, *secs};
        }

        std::vector<DetectedIssue> issues;
        for (const auto& [waiter, entry] : waits) {
            const auto& [target, secs] = entry;
            if (secs < timeout_secs_) continue;
            // The reverse wait closes the cycle whatever its own duration.
            auto back = waits.find(target);
            if (back == waits.end() || back->second.first != waiter) continue;
            DetectedIssue issue;
            issue.agent_id = std::string(agent_id);
            issue.category = cat::Deadlock{{waiter, target}, secs};
            issue.severity = Severity::Error;
            issue.confidence = 1.0;
            issue.description = fmt::format("Deadlock: {}↔{} ({}s)", waiter, target, secs);
            issue.evidence = fmt::format("Circular wait {}s", secs);
            issue.suggested_strategies = {"reroute"};
            issues.push_back(std::move(issue));
        }
        return issues;
    }

private:
    std::uint64_t timeout_secs_;
};

}  // namespace

DetectorPtr make_deadlock_detector(std::uint64_t timeout_secs) {
    return std::make_shared<DeadlockDetector>(timeout_secs);
}

}  // namespace tavri
