// MockAgent: the built-in simulated agent.
//
// Emits a fixed script: Started, then per turn t ThinkingStart,
// ToolCallStart("mock_search", {"query": "turn_t"}), ToolCallEnd (content
// "result_turn_t", 50 ms, 100 tokens), ThinkingEnd, and finally Completed —
// 2 + 4 × turns events. It never reads interventions and never fails.
//
// Turns are capped at kMaxTurns: every turn makes the harness run about two
// cycles over a window of up to 500 events, so an uncapped four-billion-turn
// run would never return. Runs up to the cap behave exactly as asked.
#pragma once

#include <cstdint>
#include <string>

#include "tavri/core/plugin.h"

namespace tavri {

class MockAgent : public AgentAdapter {
public:
    static constexpr std::uint32_t kMaxTurns = 1000;

    MockAgent(std::string id, std::uint32_t turns, bool success, std::uint8_t kind = 0)
        : id_(std::move(id)), turns_(turns), success_(success), kind_(kind) {}

    std::string id() const override { return id_; }
    std::uint8_t agent_type() const override { return kind_; }
    // The number of turns actually simulated (turns capped at kMaxTurns).
    std::uint32_t effective_turns() const { return turns_ < kMaxTurns ? turns_ : kMaxTurns; }

    Result<AgentOutcome, TavriError> run(const std::string& task, EventChannel& events,
                                         InterventionChannel& interventions) override;

private:
    std::string id_;
    std::uint32_t turns_;
    bool success_;
    std::uint8_t kind_;
};

}  // namespace tavri
