// TavriError: the error value of the core model and the engine.
//
// Twelve kinds, each shown with a fixed prefix followed by its payload
// ("Rate limited, retry after 30s", "Context window exceeded: 210000 > 200000").
#pragma once

#include <cstdint>
#include <string>

namespace tavri {

class TavriError {
public:
    enum class Kind : std::uint8_t {
        LlmApi,
        ToolExecution,
        ContextWindowExceeded,
        RateLimited,
        SessionNotFound,
        Configuration,
        Internal,
        Plugin,
        Checkpoint,
        Audit,
        InterventionFailed,
        CircuitBroken,
    };

    static TavriError llm_api(std::string t) { return {Kind::LlmApi, std::move(t)}; }
    static TavriError tool_execution(std::string t) { return {Kind::ToolExecution, std::move(t)}; }
    static TavriError context_window_exceeded(std::uint64_t used, std::uint64_t limit) {
        return {Kind::ContextWindowExceeded, {}, used, limit};
    }
    static TavriError rate_limited(std::uint64_t secs) { return {Kind::RateLimited, {}, secs}; }
    static TavriError session_not_found(std::string t) { return {Kind::SessionNotFound, std::move(t)}; }
    static TavriError configuration(std::string t) { return {Kind::Configuration, std::move(t)}; }
    static TavriError internal(std::string t) { return {Kind::Internal, std::move(t)}; }
    static TavriError plugin(std::string t) { return {Kind::Plugin, std::move(t)}; }
    static TavriError checkpoint(std::string t) { return {Kind::Checkpoint, std::move(t)}; }
    static TavriError audit(std::string t) { return {Kind::Audit, std::move(t)}; }
    static TavriError intervention_failed(std::string t) { return {Kind::InterventionFailed, std::move(t)}; }
    static TavriError circuit_broken(std::string t) { return {Kind::CircuitBroken, std::move(t)}; }

    Kind kind() const { return kind_; }
    // The display text: prefix and payload.
    std::string display() const;

private:
    TavriError(Kind k, std::string text, std::uint64_t a = 0, std::uint64_t b = 0)
        : kind_(k), text_(std::move(text)), a_(a), b_(b) {}
    Kind kind_;
    std::string text_;
    std::uint64_t a_, b_;
};

}  // namespace tavri
