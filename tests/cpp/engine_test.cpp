#include <gtest/gtest.h>

#include <spdlog/sinks/ostream_sink.h>

#include <atomic>
#include <sstream>

#include "tavri/core/log.h"
#include "tavri/engine/factory.h"
#include "tavri/engine/mock_agent.h"
#include "tavri/engine/pipeline.h"
#include "tavri/engine/runner.h"

using namespace tavri;

namespace {

// Answers every event with {"dimension": name, "n": index-of-call}.
class CountingObserver : public Observer {
public:
    explicit CountingObserver(std::string n) : name_(std::move(n)) {}
    std::string name() const override { return name_; }
    std::string dimension() const override { return "latency"; }
    std::optional<Observation> observe(const AgentEvent& e) override {
        ++calls;
        return Json{{"dimension", name_}, {"tag", event_tag(e)}};
    }
    std::atomic<int> calls{0};

private:
    std::string name_;
};

// Raises one loop finding per cycle when it sees any observation.
class OneFindingDetector : public Detector {
public:
    explicit OneFindingDetector(std::string n = "loop", int per_cycle = 1) : name_(std::move(n)), per_(per_cycle) {}
    std::string name() const override { return name_; }
    std::string description() const override { return "test"; }
    std::vector<DetectedIssue> detect(std::string_view agent_id, const std::vector<Observation>& obs) override {
        last_seen = obs.size();
        std::vector<DetectedIssue> out;
        if (obs.empty()) return out;
        for (int i = 0; i < per_; ++i) {
            DetectedIssue d;
            d.agent_id = std::string(agent_id);
            d.category = cat::Loop{"tool" + std::to_string(i), 1, 1};
            out.push_back(d);
        }
        return out;
    }
    std::size_t last_seen = 0;

private:
    std::string name_;
    int per_;
};

// Accepts findings whose tool name is in `accept` (all when empty).
class FakeStrategy : public Strategy {
public:
    FakeStrategy(std::string n, std::uint32_t p, std::vector<std::string> accept = {}, bool decline_all = false)
        : name_(std::move(n)), p_(p), accept_(std::move(accept)), decline_(decline_all) {}
    std::string name() const override { return name_; }
    std::uint32_t priority() const override { return p_; }
    std::optional<StrategyResult> evaluate(const DetectedIssue& d) override {
        ++calls;
        if (decline_) return std::nullopt;
        const auto& tool = std::get<cat::Loop>(d.category).tool;
        if (!accept_.empty() && std::find(accept_.begin(), accept_.end(), tool) == accept_.end()) return std::nullopt;
        return StrategyResult{name_, iv::Nudge{name_ + ":" + tool, "r"}, p_, 1.0, "ok"};
    }
    int calls = 0;

private:
    std::string name_;
    std::uint32_t p_;
    std::vector<std::string> accept_;
    bool decline_;
};

AgentEvent think(int i) { return ev::ThinkingDelta{"a", std::to_string(i), now_utc()}; }

// Captures the project's log records for one test.
struct LogCapture {
    std::ostringstream out;
    std::shared_ptr<spdlog::sinks::ostream_sink_mt> sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(out);
    LogCapture() { log::logger()->sinks().push_back(sink); }
    ~LogCapture() { log::logger()->sinks().pop_back(); }
};

}  // namespace

TEST(Registry, ReplacesByNameAndSortsStrategiesStably) {
    PluginRegistry r;
    r.register_observer(std::make_shared<CountingObserver>("x"));
    auto later = std::make_shared<CountingObserver>("x");
    r.register_observer(later);
    ASSERT_EQ(r.observers().size(), 1u);
    EXPECT_EQ(r.observers()[0], later);

    for (auto [n, p] : std::vector<std::pair<const char*, std::uint32_t>>{{"a", 10}, {"b", 50}, {"c", 10}, {"d", 90}})
        r.register_strategy(std::make_shared<FakeStrategy>(n, p));
    std::string order;
    for (auto& s : r.strategies()) order += s->name();
    EXPECT_EQ(order, "dbac");

    auto snapshot = r.observers();
    r.register_observer(std::make_shared<CountingObserver>("y"));
    EXPECT_EQ(snapshot.size(), 1u);
}

TEST(Factory, UnknownNamesWarnAndAreSkipped) {
    LogCapture cap;
    PluginRegistry r;
    register_detectors(r, {"loop", "frobnicate"});
    EXPECT_EQ(r.detector_count(), 1u);
    EXPECT_EQ(r.detectors()[0]->name(), "loop");
    EXPECT_NE(cap.out.str().find("Unknown detector 'frobnicate' \u2014 skipping"), std::string::npos) << cap.out.str();
    register_observers(r, {"Token"});
    EXPECT_NE(cap.out.str().find("Unknown observer 'Token' \u2014 skipping"), std::string::npos);
    register_strategies(r, {"nope"});
    EXPECT_NE(cap.out.str().find("Unknown strategy 'nope' \u2014 skipping"), std::string::npos);
    register_observers(r, {});
    EXPECT_EQ(r.observer_count(), 0u);
}

TEST(Factory, EveryPresetBuildsItsListsAndEveryCatalogueNameIsKnown) {
    for (auto p : all_presets()) {
        auto r = build_registry_from_preset(p);
        EXPECT_EQ(r.observer_count(), preset_observers(p).size()) << preset_name(p);
        EXPECT_EQ(r.detector_count(), preset_detectors(p).size()) << preset_name(p);
        EXPECT_EQ(r.strategy_count(), preset_strategies(p).size()) << preset_name(p);
    }
    for (auto* n : catalogue_observers()) {
        auto o = make_observer(n);
        ASSERT_TRUE(o) << n;
        EXPECT_EQ(o->name(), n);
    }
    for (auto* n : catalogue_detectors()) {
        auto d = make_detector(n);
        ASSERT_TRUE(d) << n;
        EXPECT_EQ(d->name(), n);
    }
    for (auto* n : catalogue_strategies()) {
        auto s = make_strategy(n);
        ASSERT_TRUE(s) << n;
        EXPECT_EQ(s->name(), n);
    }
}

TEST(Pipeline, EmptyAndWindow) {
    auto reg = std::make_shared<PluginRegistry>();
    auto det = std::make_shared<OneFindingDetector>();
    reg->register_detector(det);
    Pipeline p(reg, false);
    EXPECT_EQ(p.stats(), (PipelineStats{0, 0, 0, 0}));
    EXPECT_TRUE(p.cycle("a").empty());
    EXPECT_EQ(det->last_seen, 0u);
    EXPECT_TRUE(p.history().back().observations.empty());

    for (int i = 1; i <= 501; ++i) p.feed(think(i));
    ASSERT_EQ(p.bus().buffer().size(), 500u);
    EXPECT_EQ(std::get<ev::ThinkingDelta>(p.bus().buffer().front()).text, "2");
    EXPECT_EQ(std::get<ev::ThinkingDelta>(p.bus().buffer().back()).text, "501");
}

TEST(Pipeline, ObserversSeeTheWholeWindowEveryCycle) {
    auto reg = std::make_shared<PluginRegistry>();
    auto o1 = std::make_shared<CountingObserver>("o1");
    auto o2 = std::make_shared<CountingObserver>("o2");
    reg->register_observer(o1);
    reg->register_observer(o2);
    auto det = std::make_shared<OneFindingDetector>();
    reg->register_detector(det);
    Pipeline p(reg, false);
    for (int i = 0; i < 10; ++i) p.feed(think(i));
    p.cycle("a");
    EXPECT_EQ(p.history().back().observations.size(), 20u);
    EXPECT_EQ(det->last_seen, 20u);
    // Grouped by observer, oldest event first within each.
    const auto& obs = p.history().back().observations;
    for (std::size_t i = 1; i < 10; ++i) EXPECT_EQ(obs[i]["dimension"], obs[0]["dimension"]);
    p.cycle("a");
    EXPECT_EQ(o1->calls + o2->calls, 40);
}

TEST(Pipeline, RemediationOrderDryRunAndStats) {
    auto make = [](bool dry) {
        auto reg = std::make_shared<PluginRegistry>();
        reg->register_observer(std::make_shared<CountingObserver>("o"));
        reg->register_detector(std::make_shared<OneFindingDetector>("loop", 2));
        // The highest priority declines everything; the next accepts only tool0.
        reg->register_strategy(std::make_shared<FakeStrategy>("high", 90, std::vector<std::string>{}, true));
        reg->register_strategy(std::make_shared<FakeStrategy>("mid", 50, std::vector<std::string>{"tool0"}));
        return std::make_pair(reg, Pipeline(reg, dry));
    };
    {
        auto [reg, p] = make(false);
        p.feed(think(1));
        auto chosen = p.cycle("agent-x");
        ASSERT_EQ(chosen.size(), 1u);
        EXPECT_EQ(std::get<iv::Nudge>(chosen[0]).message, "mid:tool0");
        const auto& h = p.history().back();
        EXPECT_EQ(h.detections.size(), 2u);
        EXPECT_EQ(h.detections[0].agent_id, "agent-x");
        ASSERT_EQ(h.strategy_results.size(), 1u);
        ASSERT_TRUE(h.intervention);  // the first finding's answer; the second got none
        EXPECT_EQ(std::get<iv::Nudge>(*h.intervention).message, "mid:tool0");
        auto s = p.stats();
        EXPECT_EQ(s.cycle_count, 1u);
        EXPECT_EQ(s.detection_count, 2u);
        EXPECT_EQ(s.intervention_count, 1u);
    }
    {
        auto [reg, p] = make(true);
        p.feed(think(1));
        EXPECT_TRUE(p.cycle("a").empty());
        EXPECT_FALSE(p.history().back().intervention);
        EXPECT_EQ(p.history().back().strategy_results.size(), 1u);
        EXPECT_EQ(p.stats().intervention_count, 0u);
        EXPECT_EQ(p.stats().detection_count, 2u);
    }
}

TEST(Pipeline, HistoryIsBoundedButStatsCountEveryCycle) {
    auto reg = std::make_shared<PluginRegistry>();
    Pipeline p(reg, false);
    for (std::size_t i = 0; i < Pipeline::kHistoryLimit + 10; ++i) p.cycle("a");
    EXPECT_EQ(p.history().size(), Pipeline::kHistoryLimit);
    EXPECT_EQ(p.stats().cycle_count, Pipeline::kHistoryLimit + 10);
}

namespace {
// An agent that emits `n` thinking deltas, then Completed (or fails).
class ScriptAgent : public AgentAdapter {
public:
    ScriptAgent(std::size_t n, bool fail) : n_(n), fail_(fail) {}
    std::string id() const override { return "script"; }
    std::uint8_t agent_type() const override { return 7; }
    Result<AgentOutcome, TavriError> run(const std::string&, EventChannel& events, InterventionChannel&) override {
        for (std::size_t i = 0; i < n_; ++i) events.send(ev::ThinkingDelta{"script", "x", now_utc()});
        if (fail_) return make_err(TavriError::tool_execution("broke"));
        events.send(ev::Completed{"script", "s", now_utc()});
        return AgentOutcome{"s", "o", false};
    }

private:
    std::size_t n_;
    bool fail_;
};
}  // namespace

TEST(Runner, CycleCountsFollowTheCountingRule) {
    struct Case {
        std::uint32_t turns;
        std::uint64_t cycles;
    };
    for (auto c : {Case{0, 1}, Case{1, 3}, Case{4, 9}, Case{255, 8 * 255 / 4 + 1}}) {
        MockAgent agent("py-agent", c.turns, true);
        auto r = run_session(agent, "task", PluginRegistry{}, RunConfig{});
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r->stats.cycle_count, c.cycles) << c.turns;
        EXPECT_EQ(r->event_count, 1 + 4 * c.turns) << c.turns;
        EXPECT_EQ(r->summary, "Completed " + std::to_string(c.turns) + " mock turns for: task");
        EXPECT_EQ(r->output, "mock_output: " + std::to_string(c.turns) + " turns");
        EXPECT_TRUE(r->into_harness_result().success);
        EXPECT_EQ(r->into_harness_result().agent_id, "py-agent");
        EXPECT_EQ(r->session_id.size(), 36u);
    }
}

TEST(Runner, AgentOutcomesAndLongRuns) {
    // More events than the channel holds: drained while the agent runs.
    ScriptAgent many(5000, false);
    auto r = run_session(many, "t", PluginRegistry{}, RunConfig{"fixed", true});
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r->session_id, "fixed");
    EXPECT_EQ(r->event_count, 5000u);  // the runner's own Started and Completed are not counted
    EXPECT_EQ(r->stats.cycle_count, 5000u / 3 + 1);
    EXPECT_FALSE(r->success);
    EXPECT_EQ(r->agent_type, 7);

    ScriptAgent failing(10, true);
    auto f = run_session(failing, "t", PluginRegistry{}, RunConfig{});
    ASSERT_FALSE(f.ok());
    EXPECT_EQ(f.error().display(), "Tool execution error: broke");
}

TEST(Runner, DryRunChoosesNothing) {
    PluginRegistry reg;
    reg.register_observer(std::make_shared<CountingObserver>("o"));
    reg.register_detector(std::make_shared<OneFindingDetector>());
    reg.register_strategy(std::make_shared<FakeStrategy>("s", 1));
    MockAgent agent("py-agent", 4, true);
    auto live = run_session(agent, "t", reg, RunConfig{});
    EXPECT_EQ(live->stats.intervention_count, 9u);
    auto dry = run_session(agent, "t", reg, RunConfig{std::nullopt, true});
    EXPECT_EQ(dry->stats.intervention_count, 0u);
    EXPECT_EQ(dry->stats.detection_count, 9u);
}
