// Resource detectors: cost spikes, accelerating cost, resource exhaustion,
// stale context and declining output quality.
//
// All five raise findings from numeric observation members written by the
// server's event mapping (`cost_per_turn`, `usage_pct`/`resource`,
// `file_path`, `context_pressure`, `quality_score`). Only the stale-context
// detector remembers anything between calls.
#pragma once

#include <cstdint>

#include "tavri/core/plugin.h"

namespace tavri {

// "cost_anomaly": the latest cost per turn against the mean of the first
// five. The factory passes multiplier 3.0.
DetectorPtr make_cost_anomaly_detector(double multiplier);

// "runaway_cost": mean second difference of cost per turn, in dollars per
// turn squared. The factory passes threshold 1.2.
DetectorPtr make_runaway_cost_detector(double threshold);

// "resource_exhaustion": `warn_pct` applies to the resource "disk",
// `crit_pct` to every other resource. The factory passes 80.0 and 90.0.
DetectorPtr make_resource_exhaustion_detector(double warn_pct, double crit_pct);

// "stale_context": a file read `max_reads` times or more, or a context
// pressure above `pressure_threshold`. Keeps per-file read counts for the
// life of the instance. The factory passes 3 and 0.85.
DetectorPtr make_stale_context_detector(std::uint64_t max_reads, double pressure_threshold);

// "output_degradation": average fall of `quality_score` per turn over the
// last three turns. The factory passes threshold 0.3.
DetectorPtr make_output_degradation_detector(double threshold);

}  // namespace tavri
