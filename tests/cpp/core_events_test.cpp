#include <gtest/gtest.h>

#include "tavri/core/events.h"
#include "tavri/core/time.h"

using namespace tavri;

namespace {

Timestamp ts(const char* text) { return *parse_rfc3339(text); }

std::vector<AgentEvent> one_of_each() {
    const Timestamp t = ts("2024-05-01T10:20:30.250Z");
    return {
        ev::Started{"a1", "fix the bug", t},
        ev::Completed{"a1", "done", t},
        ev::Failed{"a1", "boom", t},
        ev::Forked{"a1", "a2", "sub task", t},
        ev::ThinkingStart{"a1", t},
        ev::ThinkingDelta{"a1", "hmm", t},
        ev::ThinkingEnd{"a1", t},
        ev::ToolCallStart{"a1", "Bash", Json{{"command", "ls"}}, t},
        ev::ToolCallEnd{"a1", "Bash", ToolResult{"out", true, 12, 34}, t},
        ev::ToolCallCached{"a1", "Read", t},
        ev::MessageSent{"a1", {"b", "c"}, mc::Text{"hello \"you\""}, t},
        ev::MessageReceived{"b", "a1", mc::ToolCall{"grep", Json::array({1, 2})}, t},
        ev::TokenUsage{"a1", 10, 20, 30, 40, "claude-sonnet-4-6", t},
        ev::ContextPressure{"a1", 0.75, -0.125, t},
        ev::StateTransition{"a1", "idle", "busy", "prompt", t},
        ev::OutputDelta{"a1", "par", t},
        ev::OutputComplete{"a1", "full text", t},
    };
}

}  // namespace

TEST(AgentEventJson, EveryVariantRoundTripsInBothJsonForms) {
    auto events = one_of_each();
    ASSERT_EQ(events.size(), 17u);
    for (std::size_t i = 0; i < events.size(); ++i) {
        const auto& e = events[i];
        ASSERT_EQ(e.index(), i);
        auto sorted = event_to_json(e);
        ASSERT_TRUE(sorted.ok()) << event_tag(e);
        EXPECT_EQ((*sorted)["type"], kEventTags[i]);
        auto back = event_from_json(*sorted);
        ASSERT_TRUE(back.ok()) << back.error().message;
        EXPECT_EQ(*back, e) << event_tag(e);

        auto text = event_to_json_text(e);
        ASSERT_TRUE(text.ok());
        auto again = event_from_json(Json::parse(*text));
        ASSERT_TRUE(again.ok());
        EXPECT_EQ(*again, e);
    }
}

TEST(AgentEventJson, DeclarationOrderAndValueTypes) {
    AgentEvent e = ev::TokenUsage{"a", 1, 2, 3, 4, "m", ts("2024-01-01T00:00:00Z")};
    EXPECT_EQ(*event_to_json_text(e),
              R"({"type":"token_usage","agent_id":"a","input":1,"output":2,"cache_read":3,"cache_write":4,)"
              R"("model":"m","timestamp":"2024-01-01T00:00:00Z"})");
    AgentEvent end = ev::ToolCallEnd{"a", "Read", ToolResult{"c", false, 5, 6}, ts("2024-01-01T00:00:00Z")};
    EXPECT_EQ(*event_to_json_text(end),
              R"({"type":"tool_call_end","agent_id":"a","tool":"Read","result":{"content":"c","is_error":false,)"
              R"("duration_ms":5,"token_count":6},"timestamp":"2024-01-01T00:00:00Z"})");
}

TEST(AgentEventJson, PayloadEdgeCases) {
    const Timestamp t = ts("2024-01-01T00:00:00Z");
    // An empty recipient list stays an array.
    auto sent = event_to_json(ev::MessageSent{"a", {}, mc::Task{"x"}, t});
    EXPECT_TRUE((*sent)["to"].is_array());
    EXPECT_TRUE((*sent)["to"].empty());
    // Free-form args are kept unchanged, whatever their kind.
    for (Json args : {Json::array({1, "x"}), Json("plain"), Json(nullptr), Json{{"k", {{"n", 1}}}}}) {
        AgentEvent e = ev::ToolCallStart{"a", "t", args, t};
        auto back = event_from_json(*event_to_json(e));
        ASSERT_TRUE(back.ok());
        EXPECT_EQ(std::get<ev::ToolCallStart>(*back).args, args);
    }
    // Structured content merges the tag into the held object.
    AgentEvent s = ev::MessageReceived{"a", "b", mc::Structured{Json{{"a", 1}}}, t};
    auto sj = event_to_json(s);
    ASSERT_TRUE(sj.ok());
    EXPECT_EQ((*sj)["content"], (Json{{"type", "structured"}, {"a", 1}}));
    EXPECT_EQ(*event_from_json(*sj), s);
    // A held null writes the tag alone.
    auto nj = event_to_json(ev::MessageReceived{"a", "b", mc::Structured{nullptr}, t});
    ASSERT_TRUE(nj.ok());
    EXPECT_EQ((*nj)["content"], (Json{{"type", "structured"}}));
    // A held number cannot be written.
    auto bad = event_to_json(ev::MessageReceived{"a", "b", mc::Structured{Json(5)}, t});
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().kind, JsonError::Kind::Unwritable);
    EXPECT_NE(bad.error().message.find("Structured"), std::string::npos);
}

TEST(AgentEventJson, ReadErrors) {
    struct Case {
        Json input;
        JsonError::Kind kind;
        std::string field;
    };
    const std::vector<Case> cases = {
        {Json::array(), JsonError::Kind::InvalidType, ""},
        {Json("started"), JsonError::Kind::InvalidType, ""},
        {Json{{"agent_id", "a"}}, JsonError::Kind::MissingField, "type"},
        {Json{{"type", "thinking"}, {"agent_id", "a"}}, JsonError::Kind::UnknownVariant, "type"},
        {Json{{"type", "started"}, {"agent_id", "a"}, {"task", "t"}}, JsonError::Kind::MissingField, "timestamp"},
        {Json{{"type", "started"}, {"task", "t"}, {"timestamp", "2024-01-01T00:00:00Z"}},
         JsonError::Kind::MissingField, "agent_id"},
        {Json{{"type", "token_usage"}, {"agent_id", "a"}, {"input", -1}, {"output", 0}, {"cache_read", 0},
              {"cache_write", 0}, {"model", "m"}, {"timestamp", "2024-01-01T00:00:00Z"}},
         JsonError::Kind::InvalidType, ""},
        {Json{{"type", "started"}, {"agent_id", "a"}, {"task", "t"}, {"timestamp", "yesterday"}},
         JsonError::Kind::InvalidValue, "timestamp"},
        {Json{{"type", "message_sent"}, {"from", "a"}, {"to", Json::array()}, {"content", {{"type", "bogus"}}},
              {"timestamp", "2024-01-01T00:00:00Z"}},
         JsonError::Kind::UnknownVariant, "type"},
    };
    for (const auto& c : cases) {
        auto r = event_from_json(c.input);
        ASSERT_FALSE(r.ok()) << c.input.dump();
        EXPECT_EQ(r.error().kind, c.kind) << c.input.dump() << " -> " << r.error().message;
        if (!c.field.empty()) EXPECT_EQ(r.error().field, c.field) << c.input.dump();
    }
    auto unknown = event_from_json(Json{{"type", "thinking"}});
    for (const char* tag : kEventTags) EXPECT_NE(unknown.error().message.find(std::string("`") + tag + "`"), std::string::npos);
    auto missing = event_from_json(Json{{"type", "started"}, {"agent_id", "a"}, {"task", "t"}});
    EXPECT_NE(missing.error().message.find("timestamp"), std::string::npos);
}

TEST(AgentEventJson, ExtraMembersAreIgnored) {
    Json j = {{"type", "thinking_start"}, {"agent_id", "a"}, {"session_id", "s"}, {"timestamp", "2024-01-01T00:00:00Z"}};
    auto r = event_from_json(j);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(std::get<ev::ThinkingStart>(*r).agent_id, "a");
    EXPECT_FALSE(event_to_json(*r)->contains("session_id"));
}

TEST(Timestamps, FractionDigitsAndOffsets) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"2024-01-31T12:00:00Z", "2024-01-31T12:00:00Z"},
        {"2024-01-31T12:00:00.250Z", "2024-01-31T12:00:00.250Z"},
        {"2024-01-31T12:00:00.5Z", "2024-01-31T12:00:00.500Z"},
        {"2024-01-31T12:00:00.000001Z", "2024-01-31T12:00:00.000001Z"},
        {"2024-01-31T12:00:00.123456789Z", "2024-01-31T12:00:00.123456789Z"},
        {"2024-01-31T12:00:00.1234Z", "2024-01-31T12:00:00.123400Z"},
        {"2024-01-31T14:00:00+02:00", "2024-01-31T12:00:00Z"},
        {"2024-01-01T01:30:00+02:00", "2023-12-31T23:30:00Z"},
        {"2024-01-31T07:00:00-05:00", "2024-01-31T12:00:00Z"},
        {"2024-01-31t12:00:00z", "2024-01-31T12:00:00Z"},
    };
    for (const auto& c : cases) {
        auto t = parse_rfc3339(c.in);
        ASSERT_TRUE(t) << c.in;
        EXPECT_EQ(format_rfc3339(*t), c.out) << c.in;
    }
    EXPECT_EQ(format_rfc3339(*parse_rfc3339("2024-01-31T12:00:00.250Z"), UtcSuffix::PlusZero),
              "2024-01-31T12:00:00.250+00:00");
    EXPECT_EQ(format_iso_millis(*parse_rfc3339("2024-01-31T12:00:00Z")), "2024-01-31T12:00:00.000Z");
    for (const char* bad : {"", "2024-01-31", "2024-01-31T12:00:00", "2024-13-01T00:00:00Z", "2024-02-30T00:00:00Z",
                            "2024-01-31T12:00:00.Z", "2024-01-31T12:00:00+2:00", "2024-01-31T12:00:00Zjunk"})
        EXPECT_FALSE(parse_rfc3339(bad)) << bad;
}

TEST(AgentEventJson, OffsetTimestampReadsAsUtc) {
    Json j = {{"type", "thinking_end"}, {"agent_id", "a"}, {"timestamp", "2024-06-01T12:00:00+02:00"}};
    auto r = event_from_json(j);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ((*event_to_json(*r))["timestamp"], "2024-06-01T10:00:00Z");
}

TEST(AgentEventDebug, RendersFieldsInOrder) {
    AgentEvent e = ev::ToolCallEnd{"a", "Bash", ToolResult{"x\ny", false, 5, 0}, ts("2024-01-01T00:00:00Z")};
    EXPECT_EQ(debug_text(e),
              "ToolCallEnd { agent_id: \"a\", tool: \"Bash\", result: ToolResult { content: \"x\\ny\", is_error: "
              "false, duration_ms: 5, token_count: 0 }, timestamp: 2024-01-01T00:00:00Z }");
    AgentEvent m = ev::MessageSent{"a", {"b"}, mc::Text{"hi"}, ts("2024-01-01T00:00:00Z")};
    EXPECT_EQ(debug_text(m), "MessageSent { from: \"a\", to: [\"b\"], content: Text(\"hi\"), timestamp: 2024-01-01T00:00:00Z }");
}
