#include <memory>

#include "tavri/core/text.h"
#include "tavri/observers/observers_a.h"

namespace tavri {

std::optional<Observation> AccuracyWatcher::observe(const AgentEvent& event) {
    const auto* end = std::get_if<ev::ToolCallEnd>(&event);
    if (end == nullptr) return std::nullopt;

    // Case matters here: test runners print "FAILED" in capitals, and a
    // capitalised "Error:" is usually a tool's own message, not a lint hit.
    const std::string& content = end->result.content;
    if (text::contains(content, "passed") && text::contains(content, "test")) tests_passed_.add();
    if (text::contains(content, "FAILED")) tests_failed_.add();
    if (text::contains(content, "error") || text::contains(content, "warning")) lint_errors_.add();

    double passed = static_cast<double>(tests_passed_.get());
    double failed = static_cast<double>(tests_failed_.get());
    double outcomes = passed + failed;
    // With no test outcome seen yet there is nothing against the agent.
    double pass_rate = outcomes == 0.0 ? 1.0 : passed / outcomes;

    Json obs = Json::object();
    obs["dimension"] = name();
    obs["lint_errors"] = lint_errors_.get();
    obs["test_pass_rate"] = json_number(pass_rate);
    return obs;
}

ObserverPtr make_accuracy_watcher() { return std::make_shared<AccuracyWatcher>(); }

}  // namespace tavri
