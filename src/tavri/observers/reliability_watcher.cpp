#include <memory>

#include "tavri/observers/observers_a.h"

namespace tavri {

std::optional<Observation> ReliabilityWatcher::observe(const AgentEvent& event) {
    if (std::holds_alternative<ev::Failed>(event)) {
        failures_.add();
    } else if (const auto* end = std::get_if<ev::ToolCallEnd>(&event)) {
        if (end->result.is_error) {
            failures_.add();
        } else {
            successes_.add();
        }
    }

    std::uint64_t failures = failures_.get();
    std::uint64_t successes = successes_.get();
    std::uint64_t total = failures + successes;
    double rate = total == 0 ? 0.0 : static_cast<double>(failures) / static_cast<double>(total);

    Json obs = Json::object();
    obs["dimension"] = name();
    obs["error_rate"] = json_number(rate);
    obs["total_ops"] = total;
    return obs;
}

ObserverPtr make_reliability_watcher() { return std::make_shared<ReliabilityWatcher>(); }

}  // namespace tavri
