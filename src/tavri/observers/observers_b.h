// Watchers of how a session is organised and how well it uses its context:
// agents alive and spawned ("orch"), messages and senders ("comm"),
// retrievals, hits and stores ("memory"), files read more than once
// ("context_quality") and distinct final outputs ("diversity").
//
// All five answer every event with their running totals, after applying
// the event. State lives as long as the instance and is never reset; each
// counter, set and map has its own mutex so one instance can be shared by
// several pipelines and threads.
#pragma once

#include "tavri/core/plugin.h"

namespace tavri {

ObserverPtr make_orch_watcher();
ObserverPtr make_comm_watcher();
ObserverPtr make_memory_watcher();
ObserverPtr make_context_quality_watcher();
ObserverPtr make_diversity_watcher();

}  // namespace tavri
