#include <memory>

#include "tavri/observers/observers_a.h"

namespace tavri {

const std::vector<std::string>& ComplianceWatcher::personal_data_patterns() {
    static const std::vector<std::string> patterns = {
        "@", "credit card", "ssn", "social security", "passport",
    };
    return patterns;
}

std::optional<Observation> ComplianceWatcher::observe(const AgentEvent& event) {
    if (const auto* out = std::get_if<ev::OutputComplete>(&event)) {
        // Each kind of marker counts once per output, however often it recurs.
        auto found = watch_a::matched_patterns(out->content, personal_data_patterns());
        if (!found.empty()) pii_exposures_.add(found.size());
    }
    Json obs = Json::object();
    obs["dimension"] = name();
    obs["pii_exposures"] = pii_exposures_.get();
    return obs;
}

ObserverPtr make_compliance_watcher() { return std::make_shared<ComplianceWatcher>(); }

}  // namespace tavri
