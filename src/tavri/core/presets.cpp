#include "tavri/core/presets.h"

#include <string>

#include "tavri/core/text.h"

namespace tavri {

namespace {

struct PresetRow {
    const char* name;
    std::vector<const char*> observers, detectors, strategies;
    std::vector<const char*> aliases;
};

const std::vector<PresetRow>& table() {
    static const std::vector<PresetRow> rows = {
        {"solo",
         {"token", "latency", "cost", "accuracy", "security", "reliability", "context_quality", "orch"},
         {"loop", "stale_context", "cost_anomaly", "secret_leak", "hallucination", "accuracy_risk", "model_mismatch"},
         {"nudge", "compact", "pause", "escalate", "replace"},
         {}},
        {"langgraph",
         {"token", "latency", "orch", "comm", "context_quality", "reliability"},
         {"deadlock", "loop", "stale_context", "conversation_stall", "runaway_cost"},
         {"reroute", "nudge", "compact", "pause", "rollback"},
         {}},
        {"crewai",
         {"token", "latency", "orch", "comm", "accuracy", "diversity", "reliability"},
         {"deadlock", "variety_collapse", "conversation_stall", "goal_drift", "output_degradation"},
         {"diversify", "nudge", "pause", "replace", "fork"},
         {"crew"}},
        {"autogen",
         {"token", "latency", "comm", "accuracy", "diversity", "security"},
         {"conversation_stall", "prompt_injection", "goal_drift", "variety_collapse", "loop"},
         {"nudge", "interject", "pause", "diversify", "rollback"},
         {}},
        {"langchain",
         {"token", "latency", "cost", "accuracy", "security", "reliability", "context_quality"},
         {"loop", "stale_context", "hallucination", "secret_leak", "accuracy_risk", "cost_anomaly"},
         {"nudge", "compact", "pause", "escalate", "replace", "rollback"},
         {}},
        {"openai-swarm",
         {"token", "latency", "orch", "comm", "accuracy"},
         {"conversation_stall", "goal_drift", "loop", "deadlock"},
         {"nudge", "reroute", "pause", "diversify"},
         {"swarm"}},
        {"semantic-kernel",
         {"token", "latency", "cost", "accuracy", "security", "compliance"},
         {"secret_leak", "prompt_injection", "accuracy_risk", "compliance_gap", "model_mismatch"},
         {"nudge", "pause", "isolate", "escalate", "quarantine"},
         {"sk"}},
        {"haystack",
         {"token", "latency", "accuracy", "context_quality", "memory"},
         {"stale_context", "accuracy_risk", "hallucination", "output_degradation"},
         {"nudge", "compact", "replace", "rollback"},
         {}},
        {"dspy",
         {"token", "latency", "cost", "accuracy", "orch"},
         {"accuracy_risk", "model_mismatch", "output_degradation", "cost_anomaly", "loop"},
         {"nudge", "escalate", "replace", "rollback", "compact"},
         {}},
        {"llamaindex",
         {"token", "latency", "accuracy", "context_quality", "memory", "reliability"},
         {"stale_context", "hallucination", "accuracy_risk", "output_degradation", "loop"},
         {"nudge", "compact", "replace", "rollback", "pause"},
         {}},
        {"taskweaver",
         {"token", "latency", "accuracy", "security", "reliability"},
         {"accuracy_risk", "secret_leak", "loop", "resource_exhaustion"},
         {"nudge", "pause", "escalate", "rollback"},
         {}},
        {"agno",
         {"token", "latency", "cost", "accuracy", "memory", "diversity"},
         {"loop", "hallucination", "accuracy_risk", "cost_anomaly", "variety_collapse"},
         {"nudge", "compact", "diversify", "replace", "pause"},
         {}},
        {"atomic-agents",
         {"token", "latency", "accuracy", "security"},
         {"loop", "hallucination", "accuracy_risk", "secret_leak"},
         {"nudge", "pause", "replace"},
         {"atomic"}},
        {"bee-agent",
         {"token", "latency", "orch", "reliability", "context_quality"},
         {"loop", "stale_context", "deadlock", "accuracy_risk"},
         {"nudge", "reroute", "compact", "pause", "rollback"},
         {"bee"}},
        {"pydantic-ai",
         {"token", "latency", "accuracy", "security", "compliance"},
         {"accuracy_risk", "secret_leak", "compliance_gap", "hallucination"},
         {"nudge", "pause", "isolate", "escalate", "quarantine"},
         {"pydantic"}},
        {"claude-code",
         {"token", "latency", "cost", "accuracy", "security", "reliability", "context_quality"},
         {"loop", "stale_context", "cost_anomaly", "secret_leak", "hallucination", "accuracy_risk", "model_mismatch",
          "runaway_cost"},
         {"nudge", "compact", "pause", "escalate", "replace", "rollback", "interject", "degrade"},
         {"claude"}},
        {"aider",
         {"token", "latency", "cost", "accuracy", "context_quality"},
         {"loop", "accuracy_risk", "cost_anomaly", "hallucination", "stale_context"},
         {"nudge", "compact", "pause", "replace", "rollback"},
         {}},
        {"cline",
         {"token", "latency", "cost", "accuracy", "security"},
         {"loop", "secret_leak", "hallucination", "accuracy_risk", "cost_anomaly"},
         {"nudge", "compact", "pause", "replace", "escalate"},
         {}},
        {"continue",
         {"token", "latency", "accuracy", "context_quality"},
         {"loop", "stale_context", "hallucination", "accuracy_risk"},
         {"nudge", "compact", "pause", "replace"},
         {}},
        {"vercel-ai",
         {"token", "latency", "cost", "accuracy"},
         {"loop", "cost_anomaly", "accuracy_risk"},
         {"nudge", "pause", "degrade"},
         {"vercel"}},
        {"copilot",
         {"token", "latency", "accuracy", "security"},
         {"secret_leak", "accuracy_risk", "prompt_injection"},
         {"nudge", "pause", "interject"},
         {}},
        {"cursor",
         {"token", "latency", "cost", "accuracy", "context_quality"},
         {"loop", "stale_context", "accuracy_risk", "secret_leak"},
         {"nudge", "compact", "pause"},
         {}},
        {"windsurf",
         {"token", "latency", "accuracy", "context_quality"},
         {"loop", "accuracy_risk", "hallucination"},
         {"nudge", "pause"},
         {}},
        {"devin",
         {"token", "latency", "cost", "accuracy", "security"},
         {"loop", "cost_anomaly", "accuracy_risk", "secret_leak"},
         {"nudge", "pause", "degrade", "escalate"},
         {}},
        {"amazon-q",
         {"token", "latency", "cost", "security", "compliance"},
         {"secret_leak", "compliance_gap", "cost_anomaly"},
         {"nudge", "pause", "isolate"},
         {"q"}},
        {"replit-agent",
         {"token", "latency", "cost", "accuracy"},
         {"loop", "cost_anomaly", "accuracy_risk"},
         {"nudge", "pause", "degrade"},
         {"replit"}},
        {"pearai", {"token", "latency", "accuracy"}, {"loop", "accuracy_risk"}, {"nudge", "pause"}, {"pear"}},
        {"bolt-new",
         {"token", "latency", "cost", "accuracy"},
         {"loop", "cost_anomaly", "accuracy_risk"},
         {"nudge", "pause", "degrade"},
         {"bolt"}},
        {"lovable",
         {"token", "latency", "cost", "accuracy"},
         {"loop", "cost_anomaly", "accuracy_risk"},
         {"nudge", "pause", "degrade"},
         {}},
        {"v0",
         {"token", "latency", "accuracy", "security"},
         {"accuracy_risk", "secret_leak", "loop"},
         {"nudge", "pause"},
         {}},
        {"custom",
         {"token", "latency", "cost", "accuracy", "security"},
         {"loop", "stale_context", "secret_leak"},
         {"nudge", "compact", "pause"},
         {}},
    };
    return rows;
}

const PresetRow& row(Preset p) { return table()[static_cast<std::size_t>(p)]; }

}  // namespace

const char* preset_name(Preset p) { return row(p).name; }

std::vector<Preset> all_presets() {
    std::vector<Preset> out;
    for (std::size_t i = 0; i < kPresetCount; ++i) out.push_back(static_cast<Preset>(i));
    return out;
}

std::vector<const char*> preset_observers(Preset p) { return row(p).observers; }
std::vector<const char*> preset_detectors(Preset p) { return row(p).detectors; }
std::vector<const char*> preset_strategies(Preset p) { return row(p).strategies; }

Preset parse_preset(std::string_view name) {
    const std::string lower = text::to_lower(name);
    const auto& rows = table();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (lower == rows[i].name) return static_cast<Preset>(i);
        for (const char* alias : rows[i].aliases)
            if (lower == alias) return static_cast<Preset>(i);
    }
    return Preset::Solo;
}

std::vector<const char*> catalogue_observers() {
    return {"token", "latency", "cost", "accuracy", "security", "reliability", "context_quality", "orch", "comm",
            "compliance", "memory", "diversity"};
}

std::vector<const char*> catalogue_detectors() {
    return {"loop", "stale_context", "cost_anomaly", "deadlock", "hallucination", "prompt_injection", "secret_leak",
            "variety_collapse", "conversation_stall", "goal_drift", "model_mismatch", "accuracy_risk", "runaway_cost",
            "resource_exhaustion", "output_degradation", "compliance_gap"};
}

std::vector<const char*> catalogue_strategies() {
    return {"nudge", "degrade", "fork", "compact", "diversify", "reroute", "escalate", "rollback", "pause",
            "interject", "quarantine", "replace", "isolate", "circuit_break"};
}

}  // namespace tavri
