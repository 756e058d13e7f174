// The agent event record and its JSON form.
//
// Everything the harness learns about an agent arrives as an AgentEvent: a
// tagged union of seventeen variants, each carrying a UTC timestamp. The
// JSON form (an object with a snake_case `type` tag followed by the
// variant's fields in declaration order) is the one wire and storage format
// for events. All types here are plain values; copying copies everything.
//
// Reading is strict: every field is required, unknown members are ignored,
// and errors come back as JsonError values, never as exceptions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tavri/core/json.h"
#include "tavri/core/json_error.h"
#include "tavri/core/result.h"
#include "tavri/core/time.h"

namespace tavri {

struct ToolResult {
    std::string content;
    bool is_error = false;
    std::uint64_t duration_ms = 0;
    std::uint64_t token_count = 0;
    bool operator==(const ToolResult&) const = default;
};

// MessageContent variants, in declaration order.
namespace mc {
struct Text {
    std::string text;
    bool operator==(const Text&) const = default;
};
struct ToolCall {
    std::string name;
    Json args;
    bool operator==(const ToolCall&) const = default;
};
struct Task {
    std::string description;
    bool operator==(const Task&) const = default;
};
// Holds one JSON value; only an object (or null) can be written.
struct Structured {
    Json value;
    bool operator==(const Structured&) const = default;
};
}  // namespace mc
using MessageContent = std::variant<mc::Text, mc::ToolCall, mc::Task, mc::Structured>;

// AgentEvent variants, in declaration order (the index is the variant number).
namespace ev {
struct Started {
    std::string agent_id, task;
    Timestamp timestamp;
    bool operator==(const Started&) const = default;
};
struct Completed {
    std::string agent_id, summary;
    Timestamp timestamp;
    bool operator==(const Completed&) const = default;
};
struct Failed {
    std::string agent_id, error;
    Timestamp timestamp;
    bool operator==(const Failed&) const = default;
};
struct Forked {
    std::string parent_id, child_id, task;
    Timestamp timestamp;
    bool operator==(const Forked&) const = default;
};
struct ThinkingStart {
    std::string agent_id;
    Timestamp timestamp;
    bool operator==(const ThinkingStart&) const = default;
};
struct ThinkingDelta {
    std::string agent_id, text;
    Timestamp timestamp;
    bool operator==(const ThinkingDelta&) const = default;
};
struct ThinkingEnd {
    std::string agent_id;
    Timestamp timestamp;
    bool operator==(const ThinkingEnd&) const = default;
};
struct ToolCallStart {
    std::string agent_id, tool;
    Json args;
    Timestamp timestamp;
    bool operator==(const ToolCallStart&) const = default;
};
struct ToolCallEnd {
    std::string agent_id, tool;
    ToolResult result;
    Timestamp timestamp;
    bool operator==(const ToolCallEnd&) const = default;
};
struct ToolCallCached {
    std::string agent_id, tool;
    Timestamp timestamp;
    bool operator==(const ToolCallCached&) const = default;
};
struct MessageSent {
    std::string from;
    std::vector<std::string> to;
    MessageContent content;
    Timestamp timestamp;
    bool operator==(const MessageSent&) const = default;
};
struct MessageReceived {
    std::string from, to;
    MessageContent content;
    Timestamp timestamp;
    bool operator==(const MessageReceived&) const = default;
};
struct TokenUsage {
    std::string agent_id;
    std::uint64_t input = 0, output = 0, cache_read = 0, cache_write = 0;
    std::string model;
    Timestamp timestamp;
    bool operator==(const TokenUsage&) const = default;
};
struct ContextPressure {
    std::string agent_id;
    double current_ratio = 0, trend = 0;
    Timestamp timestamp;
    bool operator==(const ContextPressure&) const = default;
};
struct StateTransition {
    std::string agent_id, from, to, condition;
    Timestamp timestamp;
    bool operator==(const StateTransition&) const = default;
};
struct OutputDelta {
    std::string agent_id, text;
    Timestamp timestamp;
    bool operator==(const OutputDelta&) const = default;
};
struct OutputComplete {
    std::string agent_id, content;
    Timestamp timestamp;
    bool operator==(const OutputComplete&) const = default;
};
}  // namespace ev

using AgentEvent =
    std::variant<ev::Started, ev::Completed, ev::Failed, ev::Forked, ev::ThinkingStart, ev::ThinkingDelta,
                 ev::ThinkingEnd, ev::ToolCallStart, ev::ToolCallEnd, ev::ToolCallCached, ev::MessageSent,
                 ev::MessageReceived, ev::TokenUsage, ev::ContextPressure, ev::StateTransition,
                 ev::OutputDelta, ev::OutputComplete>;

// The seventeen JSON tags, in variant order.
extern const char* const kEventTags[17];

// The JSON tag of the event ("tool_call_end" ...).
const char* event_tag(const AgentEvent& e);
Timestamp event_timestamp(const AgentEvent& e);
// The acting agent: `agent_id`, or `from` for messages, `parent_id` for Forked.
const std::string& event_actor(const AgentEvent& e);

// JSON writing. Fails only for structured content holding a non-object.
Result<OrderedJson, JsonError> event_to_ordered_json(const AgentEvent& e);  // declaration order
Result<Json, JsonError> event_to_json(const AgentEvent& e);                 // members sorted
Result<std::string, JsonError> event_to_json_text(const AgentEvent& e);     // compact, declaration order

// JSON reading from an in-memory value.
Result<AgentEvent, JsonError> event_from_json(const Json& v);
Result<MessageContent, JsonError> message_content_from_json(const Json& v);
Result<ToolResult, JsonError> tool_result_from_json(const Json& v);

// Debug texts.
std::string debug_text(const AgentEvent& e);
std::string debug_text(const MessageContent& c);
std::string debug_text(const ToolResult& r);

}  // namespace tavri
