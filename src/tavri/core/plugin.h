// The plug-in and agent interfaces.
//
// Observers turn events into observations (JSON objects), detectors turn
// the observations of a cycle into findings, strategies answer a finding
// with an intervention. Implementations are shared between registries,
// pipelines and threads: every operation must be safe to call concurrently
// on one instance (keep no per-call mutable state, or guard it with your
// own mutex). None of these operations fails: having nothing to report is
// an empty answer. `name()` is stable for the life of the object.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tavri/core/channel.h"
#include "tavri/core/error.h"
#include "tavri/core/events.h"
#include "tavri/core/findings.h"
#include "tavri/core/health.h"
#include "tavri/core/json.h"
#include "tavri/core/result.h"

namespace tavri {

// An observation: a JSON object whose `dimension` member holds the name of
// the observer that produced it ("token", "orch"; not the health-dimension
// name), beside that observer's measurements.
using Observation = Json;

class Observer {
public:
    virtual ~Observer() = default;
    // Unique short name, the registry key ("token", "orch", ...).
    virtual std::string name() const = 0;
    // One of the twelve health dimension names.
    virtual std::string dimension() const = 0;
    // An observation for this event, or nothing when the event is of no
    // interest. May update the observer's own (mutex-guarded) counters.
    virtual std::optional<Observation> observe(const AgentEvent& event) = 0;
};

class Detector {
public:
    virtual ~Detector() = default;
    // Unique name, equal to the category name it raises.
    virtual std::string name() const = 0;
    // One sentence saying what the detector looks for.
    virtual std::string description() const = 0;
    // The findings for the ordered observations of one cycle; `agent_id` is
    // copied into every finding.
    virtual std::vector<DetectedIssue> detect(std::string_view agent_id,
                                              const std::vector<Observation>& observations) = 0;
};

class Strategy {
public:
    virtual ~Strategy() = default;
    virtual std::string name() const = 0;
    // Higher values are consulted first.
    virtual std::uint32_t priority() const = 0;
    // The intervention this strategy would apply, or nothing to decline.
    // Called once per finding in any order.
    virtual std::optional<StrategyResult> evaluate(const DetectedIssue& issue) = 0;
};

using EventChannel = BoundedChannel<AgentEvent>;
using InterventionChannel = BoundedChannel<Intervention>;

// Anything the session runner can drive.
class AgentAdapter {
public:
    virtual ~AgentAdapter() = default;
    virtual std::string id() const = 0;
    virtual std::uint8_t agent_type() const = 0;
    // Performs the task, sending every event into `events` (waiting for room
    // when it is full). `interventions` delivers what the harness decided;
    // an agent may read or ignore it. The runner closes both channels once
    // run returns.
    virtual Result<AgentOutcome, TavriError> run(const std::string& task, EventChannel& events,
                                                 InterventionChannel& interventions) = 0;
};

using ObserverPtr = std::shared_ptr<Observer>;
using DetectorPtr = std::shared_ptr<Detector>;
using StrategyPtr = std::shared_ptr<Strategy>;

}  // namespace tavri
