// Presets: named bundles of observers, detectors and strategies, one per
// agent framework or coding assistant, plus "solo" and "custom".
//
// The three lists of each preset are fixed data. parse_preset is total:
// names are compared after full Unicode lower-casing against the canonical
// names and their aliases; anything else means solo.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tavri {

enum class Preset : std::uint8_t {
    Solo, LangGraph, CrewAi, AutoGen, LangChain, OpenAiSwarm, SemanticKernel, Haystack, Dspy,
    LlamaIndex, TaskWeaver, Agno, AtomicAgents, BeeAgent, PydanticAi, ClaudeCode, Aider, Cline,
    Continue, VercelAi, Copilot, Cursor, Windsurf, Devin, AmazonQ, ReplitAgent, PearAi, BoltNew,
    Lovable, V0, Custom,
};

inline constexpr std::size_t kPresetCount = 31;

// Canonical name ("claude-code", ...).
const char* preset_name(Preset p);
// All presets in enumeration order.
std::vector<Preset> all_presets();

std::vector<const char*> preset_observers(Preset p);
std::vector<const char*> preset_detectors(Preset p);
std::vector<const char*> preset_strategies(Preset p);

Preset parse_preset(std::string_view name);

// Catalogue lists in their published order.
std::vector<const char*> catalogue_observers();
std::vector<const char*> catalogue_detectors();
std::vector<const char*> catalogue_strategies();

}  // namespace tavri
