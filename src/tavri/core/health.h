// Health records and run summaries.
//
// HealthScore is the shape in which the server scores a session along twelve
// dimensions (three of them optional: communication, memory, diversity).
// HarnessRunResult summarises one harness run; AgentOutcome is what an agent
// returns when its run succeeds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tavri/core/json.h"
#include "tavri/core/json_error.h"
#include "tavri/core/result.h"

namespace tavri {

enum class HealthTrend : std::uint8_t { Improving, Stable, Degrading };
const char* to_string(HealthTrend t);

struct HealthDimensions {
    double token_efficiency = 0, latency = 0, cost = 0, accuracy = 0, orchestration = 0;
    std::optional<double> communication;
    double security = 0, reliability = 0, context_quality = 0;
    std::optional<double> memory;
    double compliance = 0;
    std::optional<double> diversity;
    bool operator==(const HealthDimensions&) const = default;
};

struct HealthScore {
    std::string agent_id;
    double overall = 0;
    HealthDimensions dimensions;
    HealthTrend trend = HealthTrend::Stable;
    bool operator==(const HealthScore&) const = default;
};

// Members in declaration order; absent optional dimensions as null.
OrderedJson health_to_json(const HealthScore& h);
// All members required except the three optional dimensions (null or
// missing read as absent); other members ignored.
Result<HealthScore, JsonError> health_from_json(const Json& v);

struct HarnessRunResult {
    std::string agent_id;
    std::uint64_t observation_count = 0, detection_count = 0, intervention_count = 0;
    bool success = false;
    bool operator==(const HarnessRunResult&) const = default;
};
OrderedJson run_result_to_json(const HarnessRunResult& r);

struct AgentOutcome {
    std::string summary, output;
    bool success = false;
};

}  // namespace tavri
