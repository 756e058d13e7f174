// The session runner: drives one agent through one task under a harness.
//
// The agent runs on its own thread and emits events into a bounded channel
// (1024); the runner drains that channel while the agent runs, so an agent
// that emits more than the channel holds never stalls. For each event, in
// order: feed it to the pipeline; unless it is Completed or Failed, count
// it; run a cycle when the count is a multiple of 3 or the event is a
// ToolCallEnd (and the count moved since the last cycle). Interventions go
// back on a bounded channel (64) without waiting; what does not fit is
// dropped. After the agent finishes and the channel is empty, one final
// cycle runs and the pipeline statistics become the HarnessRunResult.
// An agent error ends the run with that error and no final cycle.
#pragma once

#include <optional>
#include <string>

#include "tavri/core/error.h"
#include "tavri/core/health.h"
#include "tavri/core/presets.h"
#include "tavri/core/result.h"
#include "tavri/engine/pipeline.h"

namespace tavri {

struct RunConfig {
    std::optional<std::string> session_id;  // a fresh UUID text when absent
    bool dry_run = false;
};

struct SessionResult {
    std::string session_id;
    std::string agent_id;
    std::string summary, output;
    bool success = false;
    PipelineStats stats;
    std::uint32_t event_count = 0;
    std::uint8_t agent_type = 0;

    HarnessRunResult into_harness_result() const;
};

inline constexpr std::size_t kEventChannelCapacity = 1024;
inline constexpr std::size_t kInterventionChannelCapacity = 64;

Result<SessionResult, TavriError> run_session(AgentAdapter& agent, const std::string& task,
                                              PluginRegistry registry, const RunConfig& config);

Result<HarnessRunResult, TavriError> run_with_registry(AgentAdapter& agent, const std::string& task,
                                                       PluginRegistry registry, const RunConfig& config);
Result<HarnessRunResult, TavriError> run_harness_session(AgentAdapter& agent, const std::string& task,
                                                         Preset preset);

}  // namespace tavri
