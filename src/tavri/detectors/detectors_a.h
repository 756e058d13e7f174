// Behavioural detectors (loops, deadlocks, stalls, goal drift, variety
// collapse) and content/safety detectors (secrets, prompt injection,
// hallucinated files, untested code, model mismatch, compliance gaps).
//
// All of them read observations by key only and keep no state between
// calls, so one instance may serve several cycles at once without locking.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tavri/core/plugin.h"
#include "tavri/core/time.h"

namespace tavri {

// The wall clock the stall detector reads; injectable so the whole-second
// rounding can be exercised deterministically.
using StallClock = std::function<Timestamp()>;

// Factory values: threshold 4, window 10. The window only appears in the
// message text; every observation of the cycle is counted.
DetectorPtr make_loop_detector(std::uint32_t threshold, std::uint32_t window);

// Factory value: 60 seconds.
DetectorPtr make_deadlock_detector(std::uint64_t timeout_secs);

// Factory value: 45 seconds (real clock).
DetectorPtr make_conversation_stall_detector(std::uint64_t threshold_secs,
                                             StallClock clock = now_utc);

// Factory value: 0.4.
DetectorPtr make_goal_drift_detector(double similarity_threshold);

// Factory value: 0.85.
DetectorPtr make_variety_collapse_detector(double similarity_threshold);

// Factory: no constructor values.
DetectorPtr make_secret_leak_detector();

// Factory: no constructor values.
DetectorPtr make_prompt_injection_detector();

// Factory value: project root ".".
DetectorPtr make_hallucination_detector(std::string base_dir);

// Factory: no constructor values.
DetectorPtr make_accuracy_risk_detector();

// Factory: no constructor values.
DetectorPtr make_model_mismatch_detector();

// Factory: no constructor values.
DetectorPtr make_compliance_gap_detector();

}  // namespace tavri
