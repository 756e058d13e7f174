#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "tavri/core/debug_text.h"
#include "tavri/core/error.h"
#include "tavri/core/findings.h"
#include "tavri/core/health.h"
#include "tavri/core/intervention.h"
#include "tavri/core/presets.h"
#include "tavri/core/text.h"

using namespace tavri;

TEST(DebugText, Floats) {
    struct Case {
        double v;
        const char* text;
    };
    const Case cases[] = {
        {0.6, "0.6"},      {1.0, "1.0"},       {250.5, "250.5"},  {0.0, "0.0"},    {-0.0, "-0.0"},
        {0.0001, "0.0001"}, {0.00001, "1e-5"}, {1e16, "1e16"},    {2.5e16, "2.5e16"}, {9999999999999998.0, "9999999999999998.0"},
        {1e15, "1000000000000000.0"}, {-3.25, "-3.25"}, {0.1 + 0.2, "0.30000000000000004"}, {1.5e-7, "1.5e-7"},
        {1e300, "1e300"}, {NAN, "NaN"}, {INFINITY, "inf"}, {-INFINITY, "-inf"},
    };
    for (const auto& c : cases) EXPECT_EQ(debug::float_text(c.v), c.text) << c.v;
}

TEST(DebugText, Quoting) {
    EXPECT_EQ(debug::quote("plain"), "\"plain\"");
    EXPECT_EQ(debug::quote("say \"hi\" \\ it's"), "\"say \\\"hi\\\" \\\\ it's\"");
    EXPECT_EQ(debug::quote(std::string("a\nb\rc\td\0e", 9)), "\"a\\nb\\rc\\td\\0e\"");
    EXPECT_EQ(debug::quote("\x01\x7f"), "\"\\u{1}\\u{7f}\"");
    EXPECT_EQ(debug::quote("zero\u200bwidth"), "\"zero\\u{200b}width\"");
    EXPECT_EQ(debug::quote("caf\u00e9 \u2014 \u65e5\u672c"), "\"caf\u00e9 \u2014 \u65e5\u672c\"");
}

TEST(DebugText, EveryInterventionVariant) {
    Uuid id;
    for (int i = 0; i < 16; ++i) id.bytes[i] = static_cast<std::uint8_t>(i * 17);
    const std::string uuid = id.str();
    EXPECT_EQ(uuid, "00112233-4455-6677-8899-aabbccddeeff");
    struct Case {
        Intervention iv;
        std::string text;
    };
    const std::vector<Case> cases = {
        {iv::Nudge{"Try \"x\"", "loop"}, "Nudge { message: \"Try \\\"x\\\"\", reason: \"loop\" }"},
        {iv::Interject{"m", "r"}, "Interject { message: \"m\", reason: \"r\" }"},
        {iv::Compact{0.6, CompressionLayer::Microcompact}, "Compact { target_ratio: 0.6, layer: Microcompact }"},
        {iv::Pause{"why", id}, "Pause { reason: \"why\", checkpoint_id: " + uuid + " }"},
        {iv::Resume{}, "Resume"},
        {iv::Escalate{std::nullopt, 50000, "r"}, "Escalate { new_model: None, budget_increase: Some(50000), reason: \"r\" }"},
        {iv::Escalate{"claude-sonnet-4-6", std::nullopt, "r"},
         "Escalate { new_model: Some(\"claude-sonnet-4-6\"), budget_increase: None, reason: \"r\" }"},
        {iv::Fork{2, {"a", "b"}}, "Fork { count: 2, subtasks: [\"a\", \"b\"] }"},
        {iv::Fork{0, {}}, "Fork { count: 0, subtasks: [] }"},
        {iv::Reroute{"n", "r"}, "Reroute { to_node: \"n\", reason: \"r\" }"},
        {iv::Rollback{id, "r"}, "Rollback { checkpoint_id: " + uuid + ", reason: \"r\" }"},
        {iv::Diversify{"other"}, "Diversify { alternative_approach: \"other\" }"},
        {iv::Isolate{IsolationLevel::FullSandbox, "r"}, "Isolate { level: FullSandbox, reason: \"r\" }"},
        {iv::CircuitBreak{"tab\there"}, "CircuitBreak { reason: \"tab\\there\" }"},
        {iv::Replace{"s", std::nullopt}, "Replace { context_summary: \"s\", new_model: None }"},
        {iv::Degrade{DegradeLevel::Moderate}, "Degrade { level: Moderate }"},
        {iv::Quarantine{"q"}, "Quarantine { reason: \"q\" }"},
        {iv::Compact{1e-5, CompressionLayer::Budget}, "Compact { target_ratio: 1e-5, layer: Budget }"},
    };
    for (const auto& c : cases) EXPECT_EQ(debug_text(c.iv), c.text);
}

TEST(Uuid, FreshVersion4) {
    std::regex shape("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$");
    auto a = Uuid::v4(), b = Uuid::v4();
    EXPECT_TRUE(std::regex_match(a.str(), shape)) << a.str();
    EXPECT_NE(a, b);
}

TEST(TavriError, DisplayTexts) {
    EXPECT_EQ(TavriError::context_window_exceeded(210000, 200000).display(), "Context window exceeded: 210000 > 200000");
    EXPECT_EQ(TavriError::rate_limited(30).display(), "Rate limited, retry after 30s");
    EXPECT_EQ(TavriError::llm_api("x").display(), "LLM API error: x");
    EXPECT_EQ(TavriError::tool_execution("x").display(), "Tool execution error: x");
    EXPECT_EQ(TavriError::session_not_found("s").display(), "Session not found: s");
    EXPECT_EQ(TavriError::configuration("c").display(), "Configuration error: c");
    EXPECT_EQ(TavriError::internal("i").display(), "Internal error: i");
    EXPECT_EQ(TavriError::plugin("p").display(), "Plugin error: p");
    EXPECT_EQ(TavriError::checkpoint("c").display(), "Checkpoint error: c");
    EXPECT_EQ(TavriError::audit("a").display(), "Audit error: a");
    EXPECT_EQ(TavriError::intervention_failed("f").display(), "Intervention failed: f");
    EXPECT_EQ(TavriError::circuit_broken("b").display(), "Circuit broken: b");
}

TEST(HealthScoreJson, OptionalDimensionsAndTrend) {
    HealthScore h{"s1", 1.0, {}, HealthTrend::Stable};
    h.dimensions = {1, 1, 1, 1, 1, 1.0, 1, 1, 1, 1.0, 1, 1.0};
    auto j = health_to_json(h);
    EXPECT_EQ(j["dimensions"].size(), 12u);
    EXPECT_EQ(j["trend"], "Stable");
    EXPECT_EQ(*health_from_json(Json::parse(j.dump())), h);

    h.dimensions.memory.reset();
    j = health_to_json(h);
    EXPECT_TRUE(j["dimensions"]["memory"].is_null());
    auto back = health_from_json(Json::parse(j.dump()));
    ASSERT_TRUE(back.ok());
    EXPECT_FALSE(back->dimensions.memory);
    EXPECT_EQ(*back, h);

    Json missing_optional = Json::parse(j.dump());
    missing_optional["dimensions"].erase("diversity");
    EXPECT_FALSE(health_from_json(missing_optional)->dimensions.diversity);

    Json bad_trend = Json::parse(j.dump());
    bad_trend["trend"] = "Sideways";
    EXPECT_EQ(health_from_json(bad_trend).error().kind, JsonError::Kind::UnknownVariant);
    Json no_latency = Json::parse(j.dump());
    no_latency["dimensions"].erase("latency");
    EXPECT_EQ(health_from_json(no_latency).error().field, "latency");
    Json no_overall = Json::parse(j.dump());
    no_overall.erase("overall");
    EXPECT_EQ(health_from_json(no_overall).error().field, "overall");
}

TEST(Severity, TextForms) {
    for (auto s : {Severity::Info, Severity::Warning, Severity::Error, Severity::Critical})
        EXPECT_EQ(parse_severity(to_string(s)), s);
    EXPECT_FALSE(parse_severity("warning"));
    EXPECT_LT(Severity::Warning, Severity::Critical);
}

TEST(Categories, NamesInOrder) {
    EXPECT_STREQ(category_name(cat::Loop{}), "loop");
    EXPECT_STREQ(category_name(cat::ComplianceGap{}), "compliance_gap");
    EXPECT_STREQ(kCategoryNames[8], "conversation_stall");
}

TEST(Presets, TableShapes) {
    EXPECT_EQ(all_presets().size(), 31u);
    EXPECT_EQ(preset_observers(Preset::Solo).size(), 8u);
    EXPECT_EQ(preset_detectors(Preset::Solo).size(), 7u);
    EXPECT_EQ(preset_strategies(Preset::Solo).size(), 5u);
    auto cc_det = preset_detectors(Preset::ClaudeCode);
    ASSERT_EQ(cc_det.size(), 8u);
    EXPECT_STREQ(cc_det.back(), "runaway_cost");
    auto cc_str = preset_strategies(Preset::ClaudeCode);
    ASSERT_EQ(cc_str.size(), 8u);
    EXPECT_STREQ(cc_str[6], "interject");
    EXPECT_STREQ(cc_str[7], "degrade");
    EXPECT_EQ(preset_observers(Preset::PearAi).size(), 3u);
    EXPECT_EQ(preset_detectors(Preset::PearAi).size(), 2u);
    EXPECT_EQ(preset_strategies(Preset::PearAi).size(), 2u);
    // Every listed plug-in name belongs to the catalogue.
    auto in = [](const std::vector<const char*>& v, const char* n) {
        for (auto* x : v)
            if (std::string(x) == n) return true;
        return false;
    };
    for (auto p : all_presets()) {
        for (auto* n : preset_observers(p)) EXPECT_TRUE(in(catalogue_observers(), n)) << n;
        for (auto* n : preset_detectors(p)) EXPECT_TRUE(in(catalogue_detectors(), n)) << n;
        for (auto* n : preset_strategies(p)) EXPECT_TRUE(in(catalogue_strategies(), n)) << n;
    }
}

TEST(Presets, ParsingAndAliases) {
    for (auto p : all_presets()) EXPECT_EQ(parse_preset(preset_name(p)), p) << preset_name(p);
    struct Case {
        const char* text;
        Preset p;
    };
    const Case cases[] = {
        {"Claude", Preset::ClaudeCode}, {"claude-code", Preset::ClaudeCode}, {"CLAUDE-CODE", Preset::ClaudeCode},
        {"", Preset::Solo}, {"nonsense", Preset::Solo}, {" solo", Preset::Solo}, {"crew ", Preset::Solo},
        {"Q", Preset::AmazonQ}, {"SK", Preset::SemanticKernel}, {"crew", Preset::CrewAi},
        {"swarm", Preset::OpenAiSwarm}, {"atomic", Preset::AtomicAgents}, {"bee", Preset::BeeAgent},
        {"pydantic", Preset::PydanticAi}, {"vercel", Preset::VercelAi}, {"replit", Preset::ReplitAgent},
        {"pear", Preset::PearAi}, {"bolt", Preset::BoltNew}, {"V0", Preset::V0},
        // Unicode lower-casing: KELVIN SIGN lower-cases to 'k'.
        {"S\u212A", Preset::SemanticKernel},
        // Dotted capital I lower-cases to "i" plus a combining dot: no match.
        {"P\u0130NEAPPLE", Preset::Solo}, {"P\u0130AR", Preset::Solo},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_preset(c.text), c.p) << c.text;
}

TEST(Text, LowerCasingAndCuts) {
    EXPECT_EQ(text::to_lower("HeLLo \u00c9T\u00c9"), "hello \u00e9t\u00e9");
    EXPECT_EQ(text::to_lower("\u0130"), "i\u0307");
    EXPECT_EQ(text::to_lower("\u039f\u0394\u039f\u03a3"), "\u03bf\u03b4\u03bf\u03c2");  // final sigma
    EXPECT_EQ(text::to_lower("\u03a3\u0391"), "\u03c3\u03b1");
    EXPECT_EQ(text::prefix_bytes("a\u00e9b", 2), "a");
    EXPECT_EQ(text::prefix_bytes("a\u00e9b", 3), "a\u00e9");
    EXPECT_EQ(text::char_count("\u65e5\u672cx"), 3u);
    EXPECT_EQ(text::first_chars("\u65e5\u672cx", 2), "\u65e5\u672c");
    EXPECT_EQ(text::sanitize_utf8("a\xff" "b"), "a\ufffd" "b");
    EXPECT_EQ(text::split_whitespace("  a\u00a0b\tc  ").size(), 3u);
}

TEST(RunResultJson, MemberOrder) {
    HarnessRunResult r{"py-agent", 9, 2, 1, true};
    EXPECT_EQ(run_result_to_json(r).dump(),
              R"({"agent_id":"py-agent","observation_count":9,"detection_count":2,"intervention_count":1,"success":true})");
}
