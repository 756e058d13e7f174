#include "tavri/engine/mock_agent.h"

namespace tavri {

Result<AgentOutcome, TavriError> MockAgent::run(const std::string& task, EventChannel& events,
                                                InterventionChannel&) {
    const std::uint32_t turns = effective_turns();
    // A failed send (channel closed) is ignored: the script goes on.
    events.send(ev::Started{id_, task, now_utc()});
    for (std::uint32_t t = 0; t < turns; ++t) {
        const std::string n = std::to_string(t);
        events.send(ev::ThinkingStart{id_, now_utc()});
        events.send(ev::ToolCallStart{id_, "mock_search", Json{{"query", "turn_" + n}}, now_utc()});
        events.send(ev::ToolCallEnd{id_, "mock_search", ToolResult{"result_turn_" + n, false, 50, 100}, now_utc()});
        events.send(ev::ThinkingEnd{id_, now_utc()});
    }
    events.send(ev::Completed{id_, "Mock agent completed task: " + task, now_utc()});
    return AgentOutcome{"Completed " + std::to_string(turns_) + " mock turns for: " + task,
                        "mock_output: " + std::to_string(turns_) + " turns", success_};
}

}  // namespace tavri
