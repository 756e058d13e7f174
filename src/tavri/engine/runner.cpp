#include "tavri/engine/runner.h"

#include <thread>

#include "tavri/core/uuid.h"
#include "tavri/engine/factory.h"

namespace tavri {

HarnessRunResult SessionResult::into_harness_result() const {
    return {agent_id, stats.cycle_count, stats.detection_count, stats.intervention_count, success};
}

Result<SessionResult, TavriError> run_session(AgentAdapter& agent, const std::string& task,
                                              PluginRegistry registry, const RunConfig& config) {
    const std::string session_id = config.session_id ? *config.session_id : Uuid::v4().str();
    Pipeline pipeline(std::make_shared<const PluginRegistry>(std::move(registry)), config.dry_run);
    const std::string agent_id = agent.id();
    const std::uint8_t kind = agent.agent_type();

    EventChannel events(kEventChannelCapacity);
    InterventionChannel interventions(kInterventionChannelCapacity);

    pipeline.feed(ev::Started{agent_id, task, now_utc()});

    std::optional<Result<AgentOutcome, TavriError>> outcome;
    std::thread agent_thread([&] {
        outcome.emplace(agent.run(task, events, interventions));
        events.close();  // the agent's end of the channel is dropped
    });

    std::uint32_t counted = 0, counted_at_last_cycle = 0;
    while (auto event = events.recv()) {
        pipeline.feed(*event);
        if (std::holds_alternative<ev::Completed>(*event) || std::holds_alternative<ev::Failed>(*event)) continue;
        ++counted;
        const bool tool_end = std::holds_alternative<ev::ToolCallEnd>(*event);
        if ((counted % 3 == 0 || tool_end) && counted > counted_at_last_cycle) {
            counted_at_last_cycle = counted;
            for (auto& i : pipeline.cycle(agent_id)) interventions.try_send(std::move(i));
        }
    }
    agent_thread.join();
    interventions.close();
    if (!outcome->ok()) return make_err(outcome->error());

    pipeline.cycle(agent_id);  // final cycle; its interventions go nowhere

    const AgentOutcome& out = outcome->value();
    SessionResult result{session_id, agent_id, out.summary, out.output, out.success, pipeline.stats(), counted, kind};
    return result;
}

Result<HarnessRunResult, TavriError> run_with_registry(AgentAdapter& agent, const std::string& task,
                                                       PluginRegistry registry, const RunConfig& config) {
    auto r = run_session(agent, task, std::move(registry), config);
    if (!r) return make_err(r.error());
    return r->into_harness_result();
}

Result<HarnessRunResult, TavriError> run_harness_session(AgentAdapter& agent, const std::string& task,
                                                         Preset preset) {
    return run_with_registry(agent, task, build_registry_from_preset(preset), RunConfig{});
}

}  // namespace tavri
