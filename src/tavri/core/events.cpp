#include "tavri/core/events.h"

#include <type_traits>

#include "tavri/core/debug_text.h"

namespace tavri {

const char* const kEventTags[17] = {
    "started",        "completed",       "failed",           "forked",        "thinking_start",
    "thinking_delta", "thinking_end",    "tool_call_start",  "tool_call_end", "tool_call_cached",
    "message_sent",   "message_received", "token_usage",     "context_pressure",
    "state_transition", "output_delta",  "output_complete"};

namespace {

const char* const kEventNames[17] = {
    "Started",       "Completed",     "Failed",         "Forked",          "ThinkingStart",
    "ThinkingDelta", "ThinkingEnd",   "ToolCallStart",  "ToolCallEnd",     "ToolCallCached",
    "MessageSent",   "MessageReceived", "TokenUsage",   "ContextPressure", "StateTransition",
    "OutputDelta",   "OutputComplete"};

const char* const kContentTags[4] = {"text", "tool_call", "task", "structured"};

// One description of every variant's fields, in declaration order, drives
// JSON writing, JSON reading and the debug text.
template <class E, class F>
void visit_fields(E& e, F&& f) {
    using T = std::remove_const_t<E>;
    if constexpr (std::is_same_v<T, ev::Started>) {
        f("agent_id", e.agent_id), f("task", e.task);
    } else if constexpr (std::is_same_v<T, ev::Completed>) {
        f("agent_id", e.agent_id), f("summary", e.summary);
    } else if constexpr (std::is_same_v<T, ev::Failed>) {
        f("agent_id", e.agent_id), f("error", e.error);
    } else if constexpr (std::is_same_v<T, ev::Forked>) {
        f("parent_id", e.parent_id), f("child_id", e.child_id), f("task", e.task);
    } else if constexpr (std::is_same_v<T, ev::ThinkingStart> || std::is_same_v<T, ev::ThinkingEnd>) {
        f("agent_id", e.agent_id);
    } else if constexpr (std::is_same_v<T, ev::ThinkingDelta> || std::is_same_v<T, ev::OutputDelta>) {
        f("agent_id", e.agent_id), f("text", e.text);
    } else if constexpr (std::is_same_v<T, ev::ToolCallStart>) {
        f("agent_id", e.agent_id), f("tool", e.tool), f("args", e.args);
    } else if constexpr (std::is_same_v<T, ev::ToolCallEnd>) {
        f("agent_id", e.agent_id), f("tool", e.tool), f("result", e.result);
    } else if constexpr (std::is_same_v<T, ev::ToolCallCached>) {
        f("agent_id", e.agent_id), f("tool", e.tool);
    } else if constexpr (std::is_same_v<T, ev::MessageSent> || std::is_same_v<T, ev::MessageReceived>) {
        f("from", e.from), f("to", e.to), f("content", e.content);
    } else if constexpr (std::is_same_v<T, ev::TokenUsage>) {
        f("agent_id", e.agent_id), f("input", e.input), f("output", e.output), f("cache_read", e.cache_read),
            f("cache_write", e.cache_write), f("model", e.model);
    } else if constexpr (std::is_same_v<T, ev::ContextPressure>) {
        f("agent_id", e.agent_id), f("current_ratio", e.current_ratio), f("trend", e.trend);
    } else if constexpr (std::is_same_v<T, ev::StateTransition>) {
        f("agent_id", e.agent_id), f("from", e.from), f("to", e.to), f("condition", e.condition);
    } else if constexpr (std::is_same_v<T, ev::OutputComplete>) {
        f("agent_id", e.agent_id), f("content", e.content);
    } else {
        static_assert(sizeof(T) == 0, "unhandled event variant");
    }
    f("timestamp", e.timestamp);
}

const char* kind_name(const Json& v) {
    switch (v.type()) {
        case Json::value_t::null: return "null";
        case Json::value_t::boolean: return "boolean";
        case Json::value_t::string: return "string";
        case Json::value_t::array: return "sequence";
        case Json::value_t::object: return "map";
        case Json::value_t::number_float: return "floating point";
        default: return "integer";
    }
}

// ---- writing ----

// Copies a sorted Json value into J preserving its content.
template <class J>
J convert(const Json& v) {
    if constexpr (std::is_same_v<J, Json>) {
        return v;
    } else {
        return J::parse(v.dump());
    }
}

template <class J>
Result<J, JsonError> content_to(const MessageContent& c) {
    J out = J::object();
    out["type"] = kContentTags[c.index()];
    if (auto* t = std::get_if<mc::Text>(&c)) {
        out["text"] = t->text;
    } else if (auto* tc = std::get_if<mc::ToolCall>(&c)) {
        out["name"] = tc->name;
        out["args"] = convert<J>(tc->args);
    } else if (auto* task = std::get_if<mc::Task>(&c)) {
        out["description"] = task->description;
    } else {
        const Json& held = std::get<mc::Structured>(c).value;
        if (!held.is_null() && !held.is_object()) {
            return make_err(JsonError{JsonError::Kind::Unwritable,
                                      std::string("cannot serialize tagged newtype variant "
                                                  "MessageContent::Structured containing a ") +
                                          kind_name(held),
                                      "content"});
        }
        if (held.is_object())
            for (auto it = held.begin(); it != held.end(); ++it)
                if (it.key() != "type") out[it.key()] = convert<J>(it.value());
    }
    return out;
}

template <class J>
struct FieldWriter {
    J& out;
    std::optional<JsonError>& err;
    void operator()(const char* name, const std::string& v) { out[name] = v; }
    void operator()(const char* name, std::uint64_t v) { out[name] = v; }
    void operator()(const char* name, double v) { out[name] = v; }
    void operator()(const char* name, const Timestamp& v) { out[name] = format_rfc3339(v); }
    void operator()(const char* name, const Json& v) { out[name] = convert<J>(v); }
    void operator()(const char* name, const std::vector<std::string>& v) {
        J arr = J::array();
        for (auto& s : v) arr.push_back(s);
        out[name] = std::move(arr);
    }
    void operator()(const char* name, const ToolResult& r) {
        J o = J::object();
        o["content"] = r.content;
        o["is_error"] = r.is_error;
        o["duration_ms"] = r.duration_ms;
        o["token_count"] = r.token_count;
        out[name] = std::move(o);
    }
    void operator()(const char* name, const MessageContent& c) {
        auto r = content_to<J>(c);
        if (!r) {
            if (!err) err = r.error();
            return;
        }
        out[name] = std::move(r.value());
    }
};

template <class J>
Result<J, JsonError> event_to(const AgentEvent& e) {
    J out = J::object();
    out["type"] = kEventTags[e.index()];
    std::optional<JsonError> err;
    std::visit([&](const auto& v) { visit_fields(v, FieldWriter<J>{out, err}); }, e);
    if (err) return make_err(*err);
    return out;
}

// ---- reading ----

struct FieldReader {
    const Json& obj;
    std::optional<JsonError>& err;

    const Json* member(const char* name) {
        if (err) return nullptr;
        auto it = obj.find(name);
        if (it == obj.end()) {
            err = JsonError::missing_field(name);
            return nullptr;
        }
        return &*it;
    }
    void type_error(const Json& v, const char* expected) {
        err = JsonError::invalid_type(kind_name(v), expected);
    }
    void operator()(const char* name, std::string& v) {
        if (const Json* m = member(name)) {
            if (m->is_string()) v = m->get<std::string>();
            else type_error(*m, "a string");
        }
    }
    void operator()(const char* name, std::uint64_t& v) {
        if (const Json* m = member(name)) {
            if (auto u = json_u64(*m)) v = *u;
            else type_error(*m, "u64");
        }
    }
    void operator()(const char* name, double& v) {
        if (const Json* m = member(name)) {
            if (m->is_number()) v = m->get<double>();
            else type_error(*m, "f64");
        }
    }
    void operator()(const char* name, Timestamp& v) {
        if (const Json* m = member(name)) {
            if (!m->is_string()) return type_error(*m, "an RFC 3339 date-time string");
            auto t = parse_rfc3339(m->get_ref<const std::string&>());
            if (t) v = *t;
            else err = JsonError::invalid_value(name, "not an RFC 3339 date-time");
        }
    }
    void operator()(const char* name, Json& v) {
        if (const Json* m = member(name)) v = *m;
    }
    void operator()(const char* name, std::vector<std::string>& v) {
        if (const Json* m = member(name)) {
            if (!m->is_array()) return type_error(*m, "a sequence");
            for (auto& s : *m) {
                if (!s.is_string()) return type_error(s, "a string");
                v.push_back(s.get<std::string>());
            }
        }
    }
    void operator()(const char* name, ToolResult& r) {
        if (const Json* m = member(name)) {
            auto res = tool_result_from_json(*m);
            if (res) r = std::move(res.value());
            else err = res.error();
        }
    }
    void operator()(const char* name, MessageContent& c) {
        if (const Json* m = member(name)) {
            auto res = message_content_from_json(*m);
            if (res) c = std::move(res.value());
            else err = res.error();
        }
    }
};

template <std::size_t I = 0>
AgentEvent make_event(std::size_t index) {
    if constexpr (I + 1 < std::variant_size_v<AgentEvent>) {
        if (index != I) return make_event<I + 1>(index);
    }
    return AgentEvent{std::in_place_index<I>};
}

// ---- debug text ----

std::string json_debug(const Json& v) { return v.dump(); }

struct FieldDebug {
    debug::Record& rec;
    void operator()(const char* name, const std::string& v) { rec.str(name, v); }
    void operator()(const char* name, std::uint64_t v) { rec.u64(name, v); }
    void operator()(const char* name, double v) { rec.f64(name, v); }
    void operator()(const char* name, const Timestamp& v) { rec.field(name, format_rfc3339(v)); }
    void operator()(const char* name, const Json& v) { rec.field(name, json_debug(v)); }
    void operator()(const char* name, const std::vector<std::string>& v) { rec.field(name, debug::text_list(v)); }
    void operator()(const char* name, const ToolResult& r) { rec.field(name, debug_text(r)); }
    void operator()(const char* name, const MessageContent& c) { rec.field(name, debug_text(c)); }
};

}  // namespace

const char* event_tag(const AgentEvent& e) { return kEventTags[e.index()]; }

Timestamp event_timestamp(const AgentEvent& e) {
    return std::visit([](const auto& v) { return v.timestamp; }, e);
}

const std::string& event_actor(const AgentEvent& e) {
    return std::visit(
        [](const auto& v) -> const std::string& {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, ev::MessageSent> || std::is_same_v<T, ev::MessageReceived>) {
                return v.from;
            } else if constexpr (std::is_same_v<T, ev::Forked>) {
                return v.parent_id;
            } else {
                return v.agent_id;
            }
        },
        e);
}

Result<OrderedJson, JsonError> event_to_ordered_json(const AgentEvent& e) { return event_to<OrderedJson>(e); }
Result<Json, JsonError> event_to_json(const AgentEvent& e) { return event_to<Json>(e); }
Result<std::string, JsonError> event_to_json_text(const AgentEvent& e) {
    auto j = event_to_ordered_json(e);
    if (!j) return make_err(j.error());
    return j->dump();
}

Result<ToolResult, JsonError> tool_result_from_json(const Json& v) {
    if (!v.is_object()) return make_err(JsonError::invalid_type(kind_name(v), "struct ToolResult"));
    ToolResult r;
    std::optional<JsonError> err;
    FieldReader rd{v, err};
    rd("content", r.content);
    if (const Json* m = rd.member("is_error")) {
        if (m->is_boolean()) r.is_error = m->get<bool>();
        else rd.type_error(*m, "a boolean");
    }
    rd("duration_ms", r.duration_ms);
    rd("token_count", r.token_count);
    if (err) return make_err(*err);
    return r;
}

Result<MessageContent, JsonError> message_content_from_json(const Json& v) {
    if (!v.is_object()) return make_err(JsonError::invalid_type(kind_name(v), "internally tagged enum MessageContent"));
    auto t = v.find("type");
    if (t == v.end()) return make_err(JsonError::missing_field("type"));
    if (!t->is_string()) return make_err(JsonError::invalid_type(kind_name(*t), "variant identifier"));
    const std::string& tag = t->get_ref<const std::string&>();
    std::optional<JsonError> err;
    FieldReader rd{v, err};
    MessageContent out;
    if (tag == "text") {
        mc::Text x;
        rd("text", x.text);
        out = std::move(x);
    } else if (tag == "tool_call") {
        mc::ToolCall x;
        rd("name", x.name);
        rd("args", x.args);
        out = std::move(x);
    } else if (tag == "task") {
        mc::Task x;
        rd("description", x.description);
        out = std::move(x);
    } else if (tag == "structured") {
        Json held = Json::object();
        for (auto it = v.begin(); it != v.end(); ++it)
            if (it.key() != "type") held[it.key()] = it.value();
        out = mc::Structured{std::move(held)};
    } else {
        return make_err(JsonError::unknown_variant(tag, kContentTags, 4));
    }
    if (err) return make_err(*err);
    return out;
}

Result<AgentEvent, JsonError> event_from_json(const Json& v) {
    if (!v.is_object()) return make_err(JsonError::invalid_type(kind_name(v), "internally tagged enum AgentEvent"));
    auto t = v.find("type");
    if (t == v.end()) return make_err(JsonError::missing_field("type"));
    if (!t->is_string()) return make_err(JsonError::invalid_type(kind_name(*t), "variant identifier"));
    const std::string& tag = t->get_ref<const std::string&>();
    std::size_t index = 17;
    for (std::size_t i = 0; i < 17; ++i)
        if (tag == kEventTags[i]) index = i;
    if (index == 17) return make_err(JsonError::unknown_variant(tag, kEventTags, 17));
    AgentEvent e = make_event(index);
    std::optional<JsonError> err;
    std::visit([&](auto& x) { visit_fields(x, FieldReader{v, err}); }, e);
    if (err) return make_err(*err);
    return e;
}

std::string debug_text(const ToolResult& r) {
    return debug::Record("ToolResult")
        .str("content", r.content)
        .boolean("is_error", r.is_error)
        .u64("duration_ms", r.duration_ms)
        .u64("token_count", r.token_count)
        .done();
}

std::string debug_text(const MessageContent& c) {
    if (auto* t = std::get_if<mc::Text>(&c)) return "Text(" + debug::quote(t->text) + ")";
    if (auto* tc = std::get_if<mc::ToolCall>(&c))
        return debug::Record("ToolCall").str("name", tc->name).field("args", json_debug(tc->args)).done();
    if (auto* task = std::get_if<mc::Task>(&c))
        return debug::Record("Task").str("description", task->description).done();
    return "Structured(" + json_debug(std::get<mc::Structured>(c).value) + ")";
}

std::string debug_text(const AgentEvent& e) {
    debug::Record rec(kEventNames[e.index()]);
    std::visit([&](const auto& v) { visit_fields(v, FieldDebug{rec}); }, e);
    return rec.done();
}

}  // namespace tavri
