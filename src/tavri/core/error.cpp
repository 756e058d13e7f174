#include "tavri/core/error.h"

namespace tavri {

std::string TavriError::display() const {
    switch (kind_) {
        case Kind::LlmApi: return "LLM API error: " + text_;
        case Kind::ToolExecution: return "Tool execution error: " + text_;
        case Kind::ContextWindowExceeded:
            return "Context window exceeded: " + std::to_string(a_) + " > " + std::to_string(b_);
        case Kind::RateLimited: return "Rate limited, retry after " + std::to_string(a_) + "s";
        case Kind::SessionNotFound: return "Session not found: " + text_;
        case Kind::Configuration: return "Configuration error: " + text_;
        case Kind::Internal: return "Internal error: " + text_;
        case Kind::Plugin: return "Plugin error: " + text_;
        case Kind::Checkpoint: return "Checkpoint error: " + text_;
        case Kind::Audit: return "Audit error: " + text_;
        case Kind::InterventionFailed: return "Intervention failed: " + text_;
        case Kind::CircuitBroken: return "Circuit broken: " + text_;
    }
    return text_;
}

}  // namespace tavri
