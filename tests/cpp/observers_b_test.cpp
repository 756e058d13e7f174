#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tavri/observers/observers_b.h"

namespace tavri {
namespace {

ev::ToolCallStart tool_start(std::string tool, Json args = Json::object()) {
    return ev::ToolCallStart{"a1", std::move(tool), std::move(args), {}};
}
ev::ToolCallEnd tool_end(bool is_error) { return ev::ToolCallEnd{"a1", "Bash", ToolResult{"ok", is_error, 5, 1}, {}}; }
ev::OutputComplete output(std::string content) { return ev::OutputComplete{"a1", std::move(content), {}}; }
ev::MessageSent sent(std::string from) { return ev::MessageSent{std::move(from), {"z"}, mc::Text{"hi"}, {}}; }
AgentEvent read_of(const std::string& path) { return tool_start("Read", Json{{"file_path", path}}); }

// One event of each of the seventeen kinds.
std::vector<AgentEvent> one_of_each_kind() {
    return {
        ev::Started{"a1", "task", {}},
        ev::Completed{"a1", "done", {}},
        ev::Failed{"a1", "boom", {}},
        ev::Forked{"a1", "a2", "sub", {}},
        ev::ThinkingStart{"a1", {}},
        ev::ThinkingDelta{"a1", "hmm", {}},
        ev::ThinkingEnd{"a1", {}},
        read_of("/src/x.rs"),
        tool_end(false),
        ev::ToolCallCached{"a1", "Read", {}},
        sent("a1"),
        ev::MessageReceived{"b", "a1", mc::Text{"hello"}, {}},
        ev::TokenUsage{"a1", 10, 20, 0, 0, "m", {}},
        ev::ContextPressure{"a1", 0.5, 0.1, {}},
        ev::StateTransition{"a1", "x", "y", "c", {}},
        ev::OutputDelta{"a1", "partial", {}},
        output("final answer"),
    };
}

Observation observe(Observer& w, const AgentEvent& e) {
    auto obs = w.observe(e);
    EXPECT_TRUE(obs.has_value()) << "no observation for " << event_tag(e);
    return obs.value_or(Json::object());
}

struct WatcherCase {
    const char* label;
    std::function<ObserverPtr()> make;
    std::string name, dimension;
    std::vector<std::string> integer_keys, float_keys;
    Json fresh;  // observation for a first, uninteresting event
    std::vector<std::string> reacting_tags;
};

std::vector<WatcherCase> watcher_cases() {
    return {
        {"orch", make_orch_watcher, "orch", "orchestration", {"active_agents", "total_forks"}, {},
         Json{{"dimension", "orch"}, {"active_agents", 1}, {"total_forks", 0}},
         {"forked", "completed", "failed"}},
        {"comm", make_comm_watcher, "comm", "communication", {"participants", "total_messages"}, {},
         Json{{"dimension", "comm"}, {"participants", 0}, {"total_messages", 0}},
         {"message_sent"}},
        {"memory", make_memory_watcher, "memory", "memory", {"hits", "retrievals", "stores"},
         {"growth_rate_kb_hr", "hit_rate"},
         Json{{"dimension", "memory"}, {"growth_rate_kb_hr", 0.0}, {"hit_rate", 0.0}, {"hits", 0},
              {"retrievals", 0}, {"stores", 0}},
         {"tool_call_start", "thinking_start", "tool_call_end", "output_complete"}},
        {"context_quality", make_context_quality_watcher, "context_quality", "context_quality", {"unique_files"},
         {"context_pressure", "context_ratio", "redundancy_ratio"},
         Json{{"dimension", "context_quality"}, {"context_pressure", 0.0}, {"context_ratio", 0.0},
              {"redundancy_ratio", 0.0}, {"unique_files", 0}},
         {"tool_call_start"}},
        {"diversity", make_diversity_watcher, "diversity", "diversity", {"unique_approaches"}, {},
         Json{{"dimension", "diversity"}, {"unique_approaches", 0}},
         {"output_complete"}},
    };
}

TEST(ObserversB, IdentityFreshStateAndJsonTypes) {
    for (const auto& c : watcher_cases()) {
        SCOPED_TRACE(c.label);
        auto w = c.make();
        EXPECT_EQ(w->name(), c.name);
        EXPECT_EQ(w->dimension(), c.dimension);
        Observation obs = observe(*w, ev::Started{"a1", "task", {}});
        EXPECT_EQ(obs, c.fresh);
        EXPECT_EQ(obs.size(), c.fresh.size());
        for (const auto& k : c.integer_keys) EXPECT_TRUE(obs[k].is_number_integer()) << k;
        for (const auto& k : c.float_keys) EXPECT_TRUE(obs[k].is_number_float()) << k;
    }
}

// Every kind a watcher does not react to must leave its totals exactly where
// they were, and still be answered.
TEST(ObserversB, OtherEventKindsLeaveStateUntouched) {
    for (const auto& c : watcher_cases()) {
        SCOPED_TRACE(c.label);
        auto w = c.make();
        for (const auto& e : one_of_each_kind()) {
            const std::string tag = event_tag(e);
            bool reacts = false;
            for (const auto& t : c.reacting_tags) reacts = reacts || t == tag;
            if (reacts) continue;
            EXPECT_EQ(observe(*w, e), c.fresh) << tag;
        }
    }
}

TEST(OrchWatcher, CountsForksAndEndingsWithoutUnderflow) {
    struct Step {
        AgentEvent event;
        std::uint64_t active, forks;
    };
    const ev::Forked fork{"a1", "a2", "sub", {}};
    const ev::Completed done{"a1", "ok", {}};
    const ev::Failed fail{"a1", "err", {}};
    const std::vector<std::pair<const char*, std::vector<Step>>> sequences = {
        {"two endings on a fresh instance", {{done, 0, 0}, {done, 0, 0}}},
        {"two forks then one failure", {{fork, 2, 1}, {fork, 3, 2}, {fail, 2, 2}}},
        {"floor at zero then forks count again", {{fail, 0, 0}, {fail, 0, 0}, {fork, 1, 1}, {done, 0, 1}}},
    };
    for (const auto& [label, steps] : sequences) {
        SCOPED_TRACE(label);
        auto w = make_orch_watcher();
        for (std::size_t i = 0; i < steps.size(); ++i) {
            Observation obs = observe(*w, steps[i].event);
            EXPECT_EQ(obs["active_agents"], steps[i].active) << "step " << i;
            EXPECT_EQ(obs["total_forks"], steps[i].forks) << "step " << i;
        }
    }
}

TEST(CommWatcher, CountsSentMessagesAndDistinctSenders) {
    auto w = make_comm_watcher();
    observe(*w, sent("A"));
    observe(*w, sent("A"));
    Observation obs = observe(*w, sent("B"));
    EXPECT_EQ(obs["total_messages"], 3u);
    EXPECT_EQ(obs["participants"], 2u);
    // A recipient that never sends is not a participant, and the received
    // side of a message is not counted again.
    obs = observe(*w, ev::MessageReceived{"C", "A", mc::Text{"x"}, {}});
    EXPECT_EQ(obs["total_messages"], 3u);
    EXPECT_EQ(obs["participants"], 2u);
    obs = observe(*w, ev::MessageSent{"A", {"D", "E"}, mc::Task{"t"}, {}});
    EXPECT_EQ(obs["total_messages"], 4u);
    EXPECT_EQ(obs["participants"], 2u);
}

TEST(MemoryWatcher, RetrievalsHitsStoresAndRates) {
    struct Case {
        const char* label;
        std::vector<AgentEvent> events;
        std::uint64_t retrievals, hits, stores;
        double hit_rate, growth;
    };
    const std::vector<Case> cases = {
        {"mixed session",
         {tool_start("Bash"), ev::ThinkingStart{"a1", {}}, tool_end(false), output("x"), output("y")},
         2, 1, 2, 0.5, 8.0},
        {"failed results are no hits", {tool_start("Bash"), tool_end(true), tool_end(true)}, 1, 0, 0, 0.0, 0.0},
        {"results without starts exceed a rate of one",
         {tool_start("Bash"), tool_end(false), tool_end(false), tool_end(false)}, 1, 3, 0, 3.0, 0.0},
        {"hits without any retrieval keep the rate at zero", {tool_end(false)}, 0, 1, 0, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto w = make_memory_watcher();
        Observation obs;
        for (const auto& e : c.events) obs = observe(*w, e);
        EXPECT_EQ(obs["retrievals"], c.retrievals);
        EXPECT_EQ(obs["hits"], c.hits);
        EXPECT_EQ(obs["stores"], c.stores);
        EXPECT_DOUBLE_EQ(obs["hit_rate"].get<double>(), c.hit_rate);
        EXPECT_DOUBLE_EQ(obs["growth_rate_kb_hr"].get<double>(), c.growth);
    }
}

TEST(ContextQualityWatcher, CountsOnlyExactReadToolsWithStringPath) {
    struct Case {
        const char* label;
        std::vector<AgentEvent> events;
        std::uint64_t unique;
        double ratio;
    };
    const std::vector<Case> cases = {
        {"a, b, a", {read_of("a"), read_of("b"), read_of("a")}, 2, 1.0 / 3.0},
        {"lower-case tool name counts too", {tool_start("read", {{"file_path", "a"}}), read_of("a")}, 1, 0.5},
        {"other spellings and names are ignored",
         {read_of("a"), tool_start("READ", {{"file_path", "a"}}), tool_start("read_file", {{"file_path", "a"}}),
          tool_start("Bash", {{"file_path", "a"}})},
         1, 0.0},
        {"a read without a string path changes nothing",
         {read_of("a"), tool_start("Read", {{"file_path", 7}}), tool_start("Read", {{"path", "a"}}),
          tool_start("Read", Json::array({"a"})), tool_start("Read", Json(nullptr))},
         1, 0.0},
        {"every read of one path after the first is redundant",
         {read_of("a"), read_of("a"), read_of("a"), read_of("a")}, 1, 0.75},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto w = make_context_quality_watcher();
        Observation obs;
        for (const auto& e : c.events) obs = observe(*w, e);
        EXPECT_EQ(obs["unique_files"], c.unique);
        for (const char* key : {"redundancy_ratio", "context_ratio", "context_pressure"}) {
            EXPECT_DOUBLE_EQ(obs[key].get<double>(), c.ratio) << key;
        }
    }
}

std::string repeat(const std::string& unit, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += unit;
    return s;
}

TEST(DiversityWatcher, KeysOnFirstHundredCharacters) {
    struct Case {
        const char* label;
        std::vector<std::string> outputs;
        std::uint64_t unique;
    };
    const std::vector<Case> cases = {
        {"agree in the first 100 characters", {repeat("a", 100) + "x", repeat("a", 100) + "y"}, 1},
        {"differ at the 100th character", {repeat("a", 99) + "x", repeat("a", 99) + "y"}, 2},
        {"identical outputs", {"same", "same", "other"}, 2},
        {"shorter than the key length is kept whole", {"abc", "abcd", ""}, 3},
        // Two-byte characters: a cut at 100 bytes would merge these.
        {"differ at character 61 of two-byte text", {repeat("é", 60) + "x", repeat("é", 60) + "y"}, 2},
        {"agree in 100 two-byte characters", {repeat("é", 100) + "x", repeat("é", 100) + "y"}, 1},
        {"four-byte characters differ at character 100",
         {repeat("😀", 99) + "x" + "tail", repeat("😀", 99) + "y" + "tail"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto w = make_diversity_watcher();
        Observation obs;
        for (const auto& o : c.outputs) obs = observe(*w, output(o));
        EXPECT_EQ(obs["unique_approaches"], c.unique);
    }
}

// Several threads drive one instance of each watcher; the totals must come
// out as if the events had been applied one by one.
TEST(ObserversB, ConcurrentObserveKeepsTotals) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 500;
    constexpr int kPaths = 7;
    auto orch = make_orch_watcher();
    auto comm = make_comm_watcher();
    auto memory = make_memory_watcher();
    auto ctx = make_context_quality_watcher();
    auto diversity = make_diversity_watcher();
    std::vector<ObserverPtr> all = {orch, comm, memory, ctx, diversity};

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                const std::vector<AgentEvent> batch = {
                    ev::Forked{"a1", "c", "sub", {}},
                    sent("sender-" + std::to_string(t)),
                    read_of("p" + std::to_string(i % kPaths)),
                    tool_end(false),
                    output("out-" + std::to_string(i % 10)),
                };
                for (const auto& e : batch)
                    for (auto& w : all) w->observe(e);
            }
        });
    }
    for (auto& th : threads) th.join();

    const std::uint64_t n = static_cast<std::uint64_t>(kThreads) * kRounds;
    const AgentEvent probe = ev::Started{"a1", "t", {}};
    Observation o = observe(*orch, probe);
    EXPECT_EQ(o["active_agents"], n + 1);
    EXPECT_EQ(o["total_forks"], n);
    o = observe(*comm, probe);
    EXPECT_EQ(o["total_messages"], n);
    EXPECT_EQ(o["participants"], static_cast<std::uint64_t>(kThreads));
    o = observe(*memory, probe);
    EXPECT_EQ(o["retrievals"], n);  // each read is a tool call start
    EXPECT_EQ(o["hits"], n);
    EXPECT_EQ(o["stores"], n);
    EXPECT_DOUBLE_EQ(o["growth_rate_kb_hr"].get<double>(), 4.0 * static_cast<double>(n));
    o = observe(*ctx, probe);
    EXPECT_EQ(o["unique_files"], static_cast<std::uint64_t>(kPaths));
    EXPECT_DOUBLE_EQ(o["redundancy_ratio"].get<double>(),
                     static_cast<double>(n - kPaths) / static_cast<double>(n));
    o = observe(*diversity, probe);
    EXPECT_EQ(o["unique_approaches"], 10u);
}

}  // namespace
}  // namespace tavri
