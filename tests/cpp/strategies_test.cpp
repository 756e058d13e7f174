#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tavri/core/intervention.h"
#include "tavri/strategies/strategies.h"

namespace tavri {
namespace {

// Registration order of the factory's strategy table; the routing test
// relies on it to break priority ties (compact before diversify).
std::vector<StrategyPtr> all_in_registration_order() {
    return {make_nudge_strategy(),     make_compact_strategy(0.6),  make_pause_strategy(),
            make_escalate_strategy(),  make_replace_strategy(),     make_reroute_strategy(),
            make_rollback_strategy(),  make_diversify_strategy(),   make_fork_strategy(),
            make_interject_strategy(), make_isolate_strategy(),     make_quarantine_strategy(),
            make_degrade_strategy(),   make_circuit_break_strategy()};
}

std::vector<StrategyPtr> sorted_like_registry() {
    auto v = all_in_registration_order();
    std::stable_sort(v.begin(), v.end(),
                     [](const StrategyPtr& a, const StrategyPtr& b) { return a->priority() > b->priority(); });
    return v;
}

std::string mask_uuids(std::string s) {
    static const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
    return std::regex_replace(s, uuid, "<uuid>");
}

DetectedIssue issue(IssueCategory c, Severity s, double confidence, std::string description) {
    DetectedIssue d;
    d.agent_id = "agent-1";
    d.category = std::move(c);
    d.severity = s;
    d.confidence = confidence;
    d.description = std::move(description);
    // Suggestions must not influence any strategy; give one that would
    // mislead if they did.
    d.suggested_strategies = {"circuit_break"};
    return d;
}

const std::string kLoopDesc = "Agent called 'Bash' 4 times in 10 turns — possible loop";
const std::string kLeakDesc = "Agent output contains a AWS access key — possible secret leak";
const std::string kMismatchDesc = "Complex task 'refactor' assigned to cheap model gpt-4o-mini";

DetectedIssue loop_warning() { return issue(cat::Loop{"Bash", 4, 4}, Severity::Warning, 1.0, kLoopDesc); }
DetectedIssue secret_leak() { return issue(cat::SecretLeak{"AWS access key"}, Severity::Critical, 1.0, kLeakDesc); }
DetectedIssue stale(std::string path, double pressure, Severity s, double conf, std::string desc) {
    return issue(cat::StaleContext{std::move(path), pressure, 0}, s, conf, std::move(desc));
}
DetectedIssue mismatch() {
    return issue(cat::ModelMismatch{"complex", "gpt-4o-mini", "claude-opus-x"}, Severity::Warning, 0.85,
                 kMismatchDesc);
}

TEST(Strategies, NamesAndPriorities) {
    const std::vector<std::pair<std::string, std::uint32_t>> expected = {
        {"nudge", 10},  {"compact", 20},   {"pause", 30},     {"escalate", 25},   {"replace", 45},
        {"reroute", 22}, {"rollback", 28}, {"diversify", 20}, {"fork", 18},       {"interject", 35},
        {"isolate", 50}, {"quarantine", 40}, {"degrade", 15}, {"circuit_break", 100}};
    auto all = all_in_registration_order();
    ASSERT_EQ(all.size(), expected.size());
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i]->name(), expected[i].first);
        EXPECT_EQ(all[i]->priority(), expected[i].second) << expected[i].first;
    }
}

// One spot check of an answer: the whole published debug text (UUIDs
// masked), the reasoning and the confidence.
struct Spot {
    std::string strategy;
    std::string debug;
    std::string reasoning;
    double confidence;
};

struct OfferCase {
    std::string label;
    DetectedIssue finding;
    std::set<std::string> answering;
    std::vector<Spot> spots;
};

TEST(Strategies, WhoAnswersWhat) {
    const std::vector<OfferCase> cases = {
        {"warning loop on Bash",
         loop_warning(),
         {"replace", "interject", "pause", "rollback", "escalate", "reroute", "fork", "degrade", "nudge"},
         {{"nudge",
           "Nudge { message: \"Note: You've called 'Bash' multiple times without progress. Consider trying a "
           "different approach or proceeding with what you've already found.\", reason: \"" +
               kLoopDesc + "\" }",
           "Injecting gentle hint for issue: " + kLoopDesc, 0.8},
          {"replace",
           "Replace { context_summary: \"Previous agent failed: " + kLoopDesc +
               "\", new_model: Some(\"claude-opus-4-8\") }",
           "Replacing failed agent: " + kLoopDesc, 0.85},
          {"fork", "Fork { count: 2, subtasks: [\"implement\", \"verify\"] }",
           "Forking for parallel execution: " + kLoopDesc, 0.7},
          {"pause", "Pause { reason: \"" + kLoopDesc + "\", checkpoint_id: <uuid> }",
           "Pausing for human review: " + kLoopDesc, 1.0},
          {"rollback", "Rollback { checkpoint_id: <uuid>, reason: \"" + kLoopDesc + "\" }",
           "Rolling back: " + kLoopDesc, 1.0},
          {"escalate",
           "Escalate { new_model: Some(\"claude-sonnet-4-6\"), budget_increase: Some(50000), reason: \"" +
               kLoopDesc + "\" }",
           "Escalating resources for: " + kLoopDesc, 1.0},
          {"interject",
           "Interject { message: \"STOP. The harness detected: " + kLoopDesc +
               ". Change your approach immediately.\", reason: \"" + kLoopDesc + "\" }",
           "Strong interjection for: " + kLoopDesc, 1.0},
          {"reroute", "Reroute { to_node: \"verify\", reason: \"" + kLoopDesc + "\" }",
           "Rerouting agent: " + kLoopDesc, 1.0},
          {"degrade", "Degrade { level: Mild }", "Degrading to reduce cost: " + kLoopDesc, 1.0}}},
        {"critical secret leak",
         secret_leak(),
         {"circuit_break", "isolate", "replace", "quarantine", "interject", "pause", "rollback", "escalate",
          "reroute", "fork", "degrade", "nudge"},
         {{"circuit_break",
           "CircuitBreak { reason: \"Critical issue detected: " + kLeakDesc + " (confidence: 100%)\" }",
           "Emergency stop triggered by Critical severity " + kLeakDesc + " issue", 1.0},
          {"isolate", "Isolate { level: FullSandbox, reason: \"" + kLeakDesc + "\" }",
           "Isolating agent: " + kLeakDesc, 1.0},
          {"quarantine", "Quarantine { reason: \"" + kLeakDesc + "\" }", "Quarantining output: " + kLeakDesc,
           1.0},
          {"nudge",
           "Nudge { message: \"Note: The harness detected: " + kLeakDesc +
               ". Consider adjusting your approach.\", reason: \"" + kLeakDesc + "\" }",
           "Injecting gentle hint for issue: " + kLeakDesc, 0.8}}},
        {"stale context pressure 0.9",
         stale("n/a", 0.9, Severity::Warning, 0.9, "Context pressure at 90% — compaction needed"),
         {"replace", "interject", "pause", "rollback", "escalate", "reroute", "compact", "fork", "degrade",
          "nudge"},
         {{"compact", "Compact { target_ratio: 0.6, layer: Microcompact }",
           "Context pressure at 90%, applying Microcompact compaction to reach 60%", 0.9},
          {"nudge",
           "Nudge { message: \"Note: 'n/a' is already in your context. You don't need to re-read it. Proceed "
           "with the information you already have.\", reason: \"Context pressure at 90% — compaction needed\" }",
           "Injecting gentle hint for issue: Context pressure at 90% — compaction needed", 0.9 * 0.8}}},
        // Confidence below 0.9 and not Critical: pause stays out.
        {"stale context pressure exactly 0.85",
         stale("n/a", 0.85, Severity::Warning, 0.85, "Context pressure at 85% — compaction needed"),
         {"replace", "interject", "rollback", "escalate", "reroute", "compact", "fork", "degrade", "nudge"},
         {{"compact", "Compact { target_ratio: 0.6, layer: Snip }",
           "Context pressure at 85%, applying Snip compaction to reach 60%", 0.85}}},
        {"stale context pressure exactly 0.95",
         stale("n/a", 0.95, Severity::Warning, 0.95, "Context pressure at 95% — compaction needed"),
         {"replace", "interject", "pause", "rollback", "escalate", "reroute", "compact", "fork", "degrade",
          "nudge"},
         {{"compact", "Compact { target_ratio: 0.6, layer: Microcompact }",
           "Context pressure at 95%, applying Microcompact compaction to reach 60%", 0.95}}},
        {"stale context re-read file",
         stale("src/main.rs", 0.0, Severity::Error, 1.0, "File 'src/main.rs' read 6 times — context may be stale"),
         {"isolate", "replace", "interject", "pause", "rollback", "escalate", "reroute", "compact", "fork",
          "degrade", "nudge"},
         {{"compact", "Compact { target_ratio: 0.6, layer: Budget }",
           "Context pressure at 0%, applying Budget compaction to reach 60%", 1.0},
          {"isolate",
           "Isolate { level: ToolRestrict, reason: \"File 'src/main.rs' read 6 times — context may be stale\" }",
           "Isolating agent: File 'src/main.rs' read 6 times — context may be stale", 1.0},
          {"nudge",
           "Nudge { message: \"Note: 'src/main.rs' is already in your context. You don't need to re-read it. "
           "Proceed with the information you already have.\", reason: \"File 'src/main.rs' read 6 times — "
           "context may be stale\" }",
           "Injecting gentle hint for issue: File 'src/main.rs' read 6 times — context may be stale", 0.8}}},
        {"model mismatch",
         mismatch(),
         {"replace", "interject", "rollback", "escalate", "reroute", "fork", "degrade", "nudge"},
         {{"escalate",
           "Escalate { new_model: Some(\"claude-opus-x\"), budget_increase: Some(50000), reason: \"" +
               kMismatchDesc + "\" }",
           "Escalating resources for: " + kMismatchDesc, 0.85}}},
        {"variety collapse",
         issue(cat::VarietyCollapse{0.9, 3}, Severity::Warning, 0.5, "3 agents near-identical (90%)"),
         {"replace", "interject", "rollback", "escalate", "reroute", "diversify", "fork", "degrade", "nudge"},
         {{"diversify",
           "Diversify { alternative_approach: \"Try a completely different approach. MVP-first → Risk-first → "
           "User-first\" }",
           "Forcing diverse strategies: 3 agents near-identical (90%)", 0.5}}},
        {"accuracy risk",
         issue(cat::AccuracyRisk{{"no_tests"}}, Severity::Warning, 0.8, "Code generated but no tests executed"),
         {"replace", "interject", "rollback", "escalate", "reroute", "fork", "degrade", "nudge"},
         {{"nudge",
           "Nudge { message: \"Note: You've generated code but haven't run the tests yet. Run the tests before "
           "proceeding to the next step.\", reason: \"Code generated but no tests executed\" }",
           "Injecting gentle hint for issue: Code generated but no tests executed", 0.8 * 0.8}}},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::map<std::string, StrategyResult> answers;
        for (const auto& s : all_in_registration_order()) {
            auto r = s->evaluate(c.finding);
            if (!r) continue;
            EXPECT_EQ(r->strategy_name, s->name());
            EXPECT_EQ(r->priority, s->priority()) << s->name();
            answers.emplace(s->name(), std::move(*r));
        }
        std::set<std::string> got;
        for (const auto& [n, _] : answers) got.insert(n);
        EXPECT_EQ(got, c.answering);
        for (const auto& spot : c.spots) {
            SCOPED_TRACE(spot.strategy);
            auto it = answers.find(spot.strategy);
            ASSERT_NE(it, answers.end());
            EXPECT_EQ(mask_uuids(debug_text(it->second.intervention)), spot.debug);
            EXPECT_EQ(it->second.reasoning, spot.reasoning);
            EXPECT_DOUBLE_EQ(it->second.confidence, spot.confidence);
        }
    }
}

TEST(Strategies, AcceptanceBounds) {
    struct Case {
        std::string strategy;
        DetectedIssue finding;
        bool answers;
    };
    const std::vector<Case> cases = {
        {"pause", issue(cat::GoalDrift{0.3}, Severity::Warning, 0.9, "d"), true},
        {"pause", issue(cat::GoalDrift{0.3}, Severity::Warning, 0.8999, "d"), false},
        {"pause", issue(cat::GoalDrift{0.3}, Severity::Error, 0.5, "d"), false},
        {"pause", issue(cat::GoalDrift{0.3}, Severity::Critical, 0.1, "d"), true},
        {"circuit_break", issue(cat::ComplianceGap{"no audit"}, Severity::Critical, 1.0, "d"), true},
        {"circuit_break", issue(cat::SecretLeak{"key"}, Severity::Error, 1.0, "d"), false},
        {"circuit_break", issue(cat::PromptInjection{"ignore previous"}, Severity::Critical, 1.0, "d"), false},
        {"quarantine", issue(cat::ComplianceGap{"no audit"}, Severity::Info, 0.1, "d"), true},
        {"quarantine", issue(cat::PromptInjection{"x"}, Severity::Critical, 1.0, "d"), false},
        {"isolate", issue(cat::Loop{"Bash", 4, 4}, Severity::Info, 1.0, "d"), false},
        {"isolate", issue(cat::Loop{"Bash", 4, 4}, Severity::Warning, 1.0, "d"), false},
        {"isolate", issue(cat::Loop{"Bash", 8, 8}, Severity::Error, 1.0, "d"), true},
        {"compact", issue(cat::ResourceExhaustion{"memory", 99}, Severity::Error, 1.0, "d"), false},
        {"diversify", issue(cat::GoalDrift{0.1}, Severity::Warning, 0.9, "d"), false},
    };
    std::map<std::string, StrategyPtr> by_name;
    for (const auto& s : all_in_registration_order()) by_name[s->name()] = s;
    for (const auto& c : cases) {
        auto r = by_name.at(c.strategy)->evaluate(c.finding);
        EXPECT_EQ(r.has_value(), c.answers)
            << c.strategy << " on " << category_name(c.finding.category) << " " << to_string(c.finding.severity)
            << " " << c.finding.confidence;
    }
}

TEST(Strategies, CompactionLayerFollowsPressureAndTarget) {
    struct Case {
        double target, pressure;
        CompressionLayer layer;
        std::string reasoning;
    };
    const std::vector<Case> cases = {
        {0.6, 0.0, CompressionLayer::Budget, "Context pressure at 0%, applying Budget compaction to reach 60%"},
        {0.6, 0.7, CompressionLayer::Budget, "Context pressure at 70%, applying Budget compaction to reach 60%"},
        {0.6, 0.71, CompressionLayer::Snip, "Context pressure at 71%, applying Snip compaction to reach 60%"},
        {0.5, 0.96, CompressionLayer::Autocompact,
         "Context pressure at 96%, applying Autocompact compaction to reach 50%"},
        {0.45, 1.0, CompressionLayer::Autocompact,
         "Context pressure at 100%, applying Autocompact compaction to reach 45%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pressure);
        auto r = make_compact_strategy(c.target)->evaluate(stale("n/a", c.pressure, Severity::Warning, 0.5, "d"));
        ASSERT_TRUE(r);
        const auto& compact = std::get<iv::Compact>(r->intervention);
        EXPECT_EQ(compact.layer, c.layer);
        EXPECT_DOUBLE_EQ(compact.target_ratio, c.target);
        EXPECT_EQ(r->reasoning, c.reasoning);
    }
}

TEST(Strategies, CheckpointsAreFreshVersion4Uuids) {
    const auto finding = secret_leak();
    auto checkpoint = [&](const StrategyPtr& s) {
        auto r = s->evaluate(finding);
        EXPECT_TRUE(r);
        if (!r) return std::string();
        if (auto* p = std::get_if<iv::Pause>(&r->intervention)) return p->checkpoint_id.str();
        return std::get<iv::Rollback>(r->intervention).checkpoint_id.str();
    };
    for (const auto& s : {make_pause_strategy(), make_rollback_strategy()}) {
        SCOPED_TRACE(s->name());
        const std::string a = checkpoint(s), b = checkpoint(s);
        ASSERT_EQ(a.size(), 36u);
        EXPECT_NE(a, b);
        EXPECT_EQ(a[14], '4');
        EXPECT_NE(std::string("89ab").find(a[19]), std::string::npos);
    }
}

// The registry offers a finding from the highest priority down and takes
// the first answer; with all fourteen registered, replace shadows every
// mild finding and isolate or circuit break take the grave ones.
TEST(Strategies, RoutingThroughAllFourteen) {
    const auto ordered = sorted_like_registry();
    std::vector<std::string> order;
    for (const auto& s : ordered) order.push_back(s->name());
    EXPECT_EQ(order, (std::vector<std::string>{"circuit_break", "isolate", "replace", "quarantine", "interject",
                                               "pause", "rollback", "escalate", "reroute", "compact", "diversify",
                                               "fork", "degrade", "nudge"}));

    struct Case {
        DetectedIssue finding;
        std::string strategy;
        std::string debug;
    };
    const std::vector<Case> cases = {
        {issue(cat::Loop{"Bash", 4, 4}, Severity::Info, 0.2, "loop"), "replace",
         "Replace { context_summary: \"Previous agent failed: loop\", new_model: Some(\"claude-opus-4-8\") }"},
        {stale("n/a", 0.9, Severity::Warning, 0.9, "pressure"), "replace",
         "Replace { context_summary: \"Previous agent failed: pressure\", new_model: Some(\"claude-opus-4-8\") }"},
        {issue(cat::SecretLeak{"key"}, Severity::Warning, 1.0, "leak"), "replace",
         "Replace { context_summary: \"Previous agent failed: leak\", new_model: Some(\"claude-opus-4-8\") }"},
        {issue(cat::VarietyCollapse{0.9, 3}, Severity::Warning, 0.9, "same"), "replace",
         "Replace { context_summary: \"Previous agent failed: same\", new_model: Some(\"claude-opus-4-8\") }"},
        {issue(cat::Deadlock{{"a", "b"}, 61}, Severity::Error, 1.0, "Deadlock: a↔b (61s)"), "isolate",
         "Isolate { level: ToolRestrict, reason: \"Deadlock: a↔b (61s)\" }"},
        {issue(cat::SecretLeak{"key"}, Severity::Error, 1.0, "leak"), "isolate",
         "Isolate { level: ToolRestrict, reason: \"leak\" }"},
        {secret_leak(), "circuit_break",
         "CircuitBreak { reason: \"Critical issue detected: " + kLeakDesc + " (confidence: 100%)\" }"},
        {issue(cat::ComplianceGap{"pii"}, Severity::Critical, 0.5, "Compliance gap: pii"), "circuit_break",
         "CircuitBreak { reason: \"Critical issue detected: Compliance gap: pii (confidence: 50%)\" }"},
        {issue(cat::RunawayCost{3.0}, Severity::Critical, 1.0, "runaway"), "isolate",
         "Isolate { level: FullSandbox, reason: \"runaway\" }"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.finding.description);
        std::optional<StrategyResult> chosen;
        for (const auto& s : ordered)
            if ((chosen = s->evaluate(c.finding))) break;
        ASSERT_TRUE(chosen);
        EXPECT_EQ(chosen->strategy_name, c.strategy);
        EXPECT_EQ(debug_text(chosen->intervention), c.debug);
    }
}

}  // namespace
}  // namespace tavri
