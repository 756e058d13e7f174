// Resource detectors: cost anomaly, runaway cost, resource exhaustion,
// stale context and output degradation.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "tavri/detectors/detectors_b.h"

namespace tavri {
namespace {

std::vector<Observation> series(const char* key, const std::vector<double>& values) {
    std::vector<Observation> out;
    for (double v : values) out.push_back(Json{{key, v}, {"dimension", "cost"}});
    return out;
}

std::vector<double> repeat(double v, int n) { return std::vector<double>(n, v); }

std::vector<double> concat(std::vector<std::vector<double>> parts) {
    std::vector<double> out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

template <class T>
const T& payload(const DetectedIssue& issue) {
    const T* p = std::get_if<T>(&issue.category);
    if (p == nullptr) throw std::runtime_error("unexpected category");
    return *p;
}

TEST(ResourceDetectors, NamesDescriptionsAndIssueIdentity) {
    struct Case {
        DetectorPtr det;
        const char* name;
        const char* description;
    };
    const std::vector<Case> cases = {
        {make_cost_anomaly_detector(3.0), "cost_anomaly", "Detects cost spikes vs historical baseline"},
        {make_runaway_cost_detector(1.2), "runaway_cost", "Detects accelerating cost (2nd derivative)"},
        {make_resource_exhaustion_detector(80.0, 90.0), "resource_exhaustion",
         "Detects disk/memory/network exhaustion"},
        {make_stale_context_detector(3, 0.85), "stale_context",
         "Detects duplicate file reads and high context pressure"},
        {make_output_degradation_detector(0.3), "output_degradation",
         "Detects declining output quality over time"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.det->name(), c.name);
        EXPECT_EQ(c.det->description(), c.description);
    }

    // Two issues from one call carry the caller's agent id and distinct ids.
    auto det = make_resource_exhaustion_detector(80.0, 90.0);
    std::vector<Observation> obs = {Json{{"resource", "disk"}, {"usage_pct", 85}},
                                    Json{{"resource", "memory"}, {"usage_pct", 97}}};
    auto issues = det->detect("agent-7", obs);
    ASSERT_EQ(issues.size(), 2u);
    EXPECT_EQ(issues[0].agent_id, "agent-7");
    EXPECT_EQ(issues[1].agent_id, "agent-7");
    EXPECT_NE(issues[0].id.str(), issues[1].id.str());
}

TEST(CostAnomalyDetector, Boundaries) {
    struct Case {
        const char* label;
        std::vector<double> costs;
        std::optional<double> ratio;  // nothing = no issue
        Severity severity;
        double confidence;
    };
    const std::vector<Case> cases = {
        {"ratio 4", concat({repeat(1, 5), {4}}), 4.0, Severity::Warning, 1.0},
        {"ratio 6", concat({repeat(1, 5), {6}}), 6.0, Severity::Error, 1.0},
        {"ratio exactly 5 stays warning", concat({repeat(1, 5), {5}}), 5.0, Severity::Warning, 1.0},
        {"ratio exactly the multiplier", concat({repeat(1, 5), {3}}), std::nullopt, Severity::Info, 0},
        {"partial confidence", concat({repeat(2, 5), {7}}), 3.5, Severity::Warning, 2.5 / 3.0},
        {"baseline zero", concat({repeat(0, 5), {4}}), std::nullopt, Severity::Info, 0},
        {"four values", {1, 1, 1, 4}, std::nullopt, Severity::Info, 0},
        {"spike measured against first five only", concat({repeat(1, 5), repeat(10, 20), {31}}), 31.0,
         Severity::Error, 1.0},
        {"earlier spike ignored, latest is normal", concat({repeat(1, 5), {40}, {1}}), std::nullopt,
         Severity::Info, 0},
        {"baseline of five only, not all six", {1, 1, 1, 1, 6, 7}, 3.5, Severity::Warning, 2.5 / 3.0},
    };
    auto det = make_cost_anomaly_detector(3.0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto issues = det->detect("a", series("cost_per_turn", c.costs));
        if (!c.ratio) {
            EXPECT_TRUE(issues.empty());
            continue;
        }
        ASSERT_EQ(issues.size(), 1u);
        const auto& p = payload<cat::CostAnomaly>(issues[0]);
        EXPECT_DOUBLE_EQ(p.ratio, *c.ratio);
        EXPECT_DOUBLE_EQ(p.latest, c.costs.back());
        EXPECT_EQ(issues[0].severity, c.severity);
        EXPECT_DOUBLE_EQ(issues[0].confidence, c.confidence);
    }
}

TEST(CostAnomalyDetector, MessagesAndSkippedObservations) {
    std::vector<Observation> obs;
    for (double v : {0.5, 0.5, 0.5}) obs.push_back(Json{{"cost_per_turn", v}});
    obs.push_back(Json{{"cost_per_turn", "9"}});      // text: skipped
    obs.push_back(Json{{"other", 9}});                // no key: skipped
    obs.push_back(Json{{"cost_per_turn", 1}});        // integer counts as a number
    obs.push_back(Json{{"cost_per_turn", 0.5}});
    obs.push_back(Json{{"cost_per_turn", 2.345}});
    auto issues = make_cost_anomaly_detector(3.0)->detect("a", obs);
    ASSERT_EQ(issues.size(), 1u);
    const auto& issue = issues[0];
    const auto& p = payload<cat::CostAnomaly>(issue);
    EXPECT_DOUBLE_EQ(p.baseline, 0.6);
    EXPECT_DOUBLE_EQ(p.latest, 2.345);
    EXPECT_EQ(issue.description, "Cost spike: $2.3450 vs avg $0.6000");
    EXPECT_EQ(issue.evidence, "Cost 3.9x baseline");
    EXPECT_EQ(issue.suggested_strategies, (std::vector<std::string>{"degrade", "escalate"}));
}

TEST(RunawayCostDetector, Boundaries) {
    struct Case {
        const char* label;
        double threshold;
        std::vector<double> costs;
        std::optional<double> acceleration;
        Severity severity;
    };
    const std::vector<Case> cases = {
        {"second differences 1", 1.2, {0, 1, 3, 6, 10, 15}, std::nullopt, Severity::Info},
        {"second differences 2", 1.2, {0, 1, 4, 9, 16, 25}, 2.0, Severity::Warning},
        {"second differences 3", 1.2, {0, 1, 5, 12, 22, 35}, 3.0, Severity::Error},
        {"five values", 1.2, {0, 1, 4, 9, 16}, std::nullopt, Severity::Info},
        {"exactly the threshold", 2.0, {0, 1, 4, 9, 16, 25}, std::nullopt, Severity::Info},
        {"exactly twice the threshold", 1.0, {0, 1, 4, 9, 16, 25}, 2.0, Severity::Warning},
        // d = 0,0,0,0,10; a = 0,0,0,10; mean over n - 2 = 4 second differences.
        {"mean of uneven second differences", 1.2, {0, 0, 0, 0, 0, 10}, 2.5, Severity::Error},
        {"decelerating", 1.2, {0, 9, 16, 21, 24, 25}, std::nullopt, Severity::Info},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto issues = make_runaway_cost_detector(c.threshold)->detect("a", series("cost_per_turn", c.costs));
        if (!c.acceleration) {
            EXPECT_TRUE(issues.empty());
            continue;
        }
        ASSERT_EQ(issues.size(), 1u);
        EXPECT_DOUBLE_EQ(payload<cat::RunawayCost>(issues[0]).acceleration, *c.acceleration);
        EXPECT_EQ(issues[0].severity, c.severity);
        EXPECT_DOUBLE_EQ(issues[0].confidence, 1.0);
    }
}

TEST(RunawayCostDetector, Messages) {
    auto issues = make_runaway_cost_detector(1.2)->detect("a", series("cost_per_turn", {0, 1, 4, 9, 16, 25}));
    ASSERT_EQ(issues.size(), 1u);
    EXPECT_EQ(issues[0].description, "Runaway cost: accelerating at $2.0000/turn²");
    EXPECT_EQ(issues[0].evidence, "Cost acceleration: 2.0000");
    EXPECT_EQ(issues[0].suggested_strategies, (std::vector<std::string>{"degrade", "circuit_break"}));
}

TEST(ResourceExhaustionDetector, Boundaries) {
    struct Case {
        Json usage;
        const char* resource;
        std::optional<Severity> severity;  // nothing = no issue
    };
    const std::vector<Case> cases = {
        {85, "disk", Severity::Warning},
        {80, "disk", std::nullopt},
        {80.5, "disk", Severity::Warning},
        {96, "disk", Severity::Error},
        {85, "Disk", std::nullopt},  // only the exact name gets the disk threshold
        {85, "memory", std::nullopt},
        {90, "memory", std::nullopt},
        {97, "memory", Severity::Error},
        {95, "context_window", Severity::Warning},
        {95.5, "context_window", Severity::Error},
        {90, "context_window", std::nullopt},
        {"97", "memory", std::nullopt},  // text usage is skipped
    };
    auto det = make_resource_exhaustion_detector(80.0, 90.0);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.resource) + " " + c.usage.dump());
        auto issues = det->detect("a", {Json{{"resource", c.resource}, {"usage_pct", c.usage}}});
        if (!c.severity) {
            EXPECT_TRUE(issues.empty());
            continue;
        }
        ASSERT_EQ(issues.size(), 1u);
        EXPECT_EQ(issues[0].severity, *c.severity);
        EXPECT_DOUBLE_EQ(issues[0].confidence, 1.0);
        const auto& p = payload<cat::ResourceExhaustion>(issues[0]);
        EXPECT_EQ(p.resource, c.resource);
        EXPECT_DOUBLE_EQ(p.usage_pct, c.usage.get<double>());
    }
}

TEST(ResourceExhaustionDetector, OneIssuePerObservationWithMessages) {
    std::vector<Observation> obs = {
        Json{{"resource", "disk"}, {"usage_pct", 85}},
        Json{{"usage_pct", 99}},                               // no resource
        Json{{"resource", 7}, {"usage_pct", 99}},              // resource not text
        Json{{"resource", "memory"}, {"usage_pct", 92.4}},
        Json{{"resource", "network"}, {"usage_pct", 50}},
    };
    auto issues = make_resource_exhaustion_detector(80.0, 90.0)->detect("a", obs);
    ASSERT_EQ(issues.size(), 2u);
    EXPECT_EQ(issues[0].description, "disk usage at 85%");
    EXPECT_EQ(issues[0].evidence, "disk: 85%");
    EXPECT_EQ(issues[1].description, "memory usage at 92%");
    EXPECT_EQ(issues[1].evidence, "memory: 92%");
    EXPECT_EQ(issues[1].suggested_strategies, (std::vector<std::string>{"compact", "pause"}));
}

std::vector<Observation> reads(const std::string& path, int n) {
    return std::vector<Observation>(n, Json{{"file_path", path}});
}

TEST(StaleContextDetector, ReadCountsPersistAcrossCalls) {
    auto det = make_stale_context_detector(3, 0.85);

    // Each step: the observations of one call and the counts it must report.
    struct Step {
        std::vector<Observation> obs;
        std::vector<std::uint64_t> counts;
        std::vector<Severity> severities;
    };
    std::vector<Observation> mixed = reads("b.rs", 3);
    mixed.insert(mixed.begin() + 1, Json{{"file_path", "src/main.rs"}});
    const std::vector<Step> steps = {
        {reads("src/main.rs", 2), {}, {}},
        {reads("src/main.rs", 1), {3}, {Severity::Warning}},
        {reads("src/main.rs", 1), {4}, {Severity::Warning}},
        // b.rs has its own count; main.rs keeps rising in the same call.
        {mixed, {5, 3}, {Severity::Warning, Severity::Warning}},
        {reads("src/main.rs", 1), {6}, {Severity::Error}},
        {{Json{{"file_path", 42}}, Json{{"other", "src/main.rs"}}}, {}, {}},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        auto issues = det->detect("a", steps[i].obs);
        ASSERT_EQ(issues.size(), steps[i].counts.size());
        for (std::size_t k = 0; k < issues.size(); ++k) {
            const auto& p = payload<cat::StaleContext>(issues[k]);
            EXPECT_EQ(p.read_count, steps[i].counts[k]);
            EXPECT_EQ(p.pressure, 0.0);
            EXPECT_EQ(issues[k].severity, steps[i].severities[k]);
            EXPECT_DOUBLE_EQ(issues[k].confidence, 1.0);
        }
    }

    // A fresh instance starts from an empty table.
    EXPECT_TRUE(make_stale_context_detector(3, 0.85)->detect("a", reads("src/main.rs", 2)).empty());
}

TEST(StaleContextDetector, FileIssueMessages) {
    auto issues = make_stale_context_detector(3, 0.85)->detect("a", reads("docs/é.md", 3));
    ASSERT_EQ(issues.size(), 1u);
    EXPECT_EQ(issues[0].description, "File 'docs/é.md' read 3 times — context may be stale");
    EXPECT_EQ(issues[0].evidence, "File read 3 times");
    EXPECT_EQ(payload<cat::StaleContext>(issues[0]).file_path, "docs/é.md");
    EXPECT_EQ(issues[0].suggested_strategies, (std::vector<std::string>{"compact", "nudge"}));
}

TEST(StaleContextDetector, PressureBoundaries) {
    struct Case {
        Json pressure;
        std::optional<Severity> severity;
        double confidence;
    };
    const std::vector<Case> cases = {
        {0.9, Severity::Warning, 0.9},
        {0.85, std::nullopt, 0},
        {0.95, Severity::Warning, 0.95},
        {0.97, Severity::Error, 0.97},
        {1.5, Severity::Error, 1.0},
        {1, Severity::Error, 1.0},  // integers are numbers too
        {"0.99", std::nullopt, 0},
    };
    auto det = make_stale_context_detector(3, 0.85);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pressure.dump());
        auto issues = det->detect("a", {Json{{"context_pressure", c.pressure}}});
        if (!c.severity) {
            EXPECT_TRUE(issues.empty());
            continue;
        }
        ASSERT_EQ(issues.size(), 1u);
        EXPECT_EQ(issues[0].severity, *c.severity);
        EXPECT_DOUBLE_EQ(issues[0].confidence, c.confidence);
        const auto& p = payload<cat::StaleContext>(issues[0]);
        EXPECT_EQ(p.file_path, "n/a");
        EXPECT_DOUBLE_EQ(p.pressure, c.pressure.get<double>());
        EXPECT_EQ(p.read_count, 0u);
    }
}

TEST(StaleContextDetector, BothKeysGiveFileIssueFirst) {
    auto det = make_stale_context_detector(1, 0.85);
    auto issues = det->detect("a", {Json{{"file_path", "x.txt"}, {"context_pressure", 0.9}}});
    ASSERT_EQ(issues.size(), 2u);
    EXPECT_EQ(payload<cat::StaleContext>(issues[0]).file_path, "x.txt");
    EXPECT_EQ(payload<cat::StaleContext>(issues[1]).file_path, "n/a");
    EXPECT_EQ(issues[1].description, "Context pressure at 90% — compaction needed");
    EXPECT_EQ(issues[1].evidence, "Context pressure: 90%");
    EXPECT_EQ(issues[1].suggested_strategies, (std::vector<std::string>{"compact"}));
}

TEST(StaleContextDetector, ConcurrentCallsCountEveryReadOnce) {
    // Long calls that also insert new paths (forcing the table to grow)
    // make unserialised calls overlap and lose or repeat counts.
    auto det = make_stale_context_detector(3, 0.85);
    constexpr int kThreads = 4, kCalls = 20, kReadsPerCall = 100;
    std::vector<std::vector<std::uint64_t>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                std::vector<Observation> obs;
                for (int r = 0; r < kReadsPerCall; ++r) {
                    obs.push_back(Json{{"file_path", "shared.txt"}});
                    obs.push_back(Json{{"file_path", fmt::format("own-{}-{}-{}", t, i, r)}});
                }
                for (const auto& issue : det->detect("a", obs)) {
                    const auto& p = payload<cat::StaleContext>(issue);
                    if (p.file_path == "shared.txt") seen[t].push_back(p.read_count);
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    std::multiset<std::uint64_t> all;
    for (const auto& s : seen) all.insert(s.begin(), s.end());
    // Reads 3..N of the shared file each reported exactly once.
    const std::size_t total = kThreads * kCalls * kReadsPerCall;
    ASSERT_EQ(all.size(), total - 2);
    std::uint64_t expected = 3;
    for (auto c : all) EXPECT_EQ(c, expected++);
}

TEST(OutputDegradationDetector, Boundaries) {
    struct Case {
        const char* label;
        double threshold;
        std::vector<double> scores;
        std::optional<double> decline;
        Severity severity;
    };
    const std::vector<Case> cases = {
        {"last four only", 0.3, {0.9, 0.8, 0.4, 0.1, 0.0}, std::nullopt, Severity::Info},
        {"decline a third", 0.3, {1.0, 0.6, 0.3, 0.0}, 1.0 / 3.0, Severity::Warning},
        {"three values", 0.3, {1.0, 0.5, 0.0}, std::nullopt, Severity::Info},
        {"exactly the threshold", 0.25, {1.0, 0.75, 0.5, 0.25}, std::nullopt, Severity::Info},
        {"exactly twice the threshold", 0.25, {1.0, 0.5, 0.0, -0.5}, 0.5, Severity::Warning},
        {"above twice the threshold", 0.3, {2.0, 1.0, 0.5, 0.0}, 2.0 / 3.0, Severity::Error},
        {"older drop ignored", 0.3, {1.0, 0.0, 0.0, 0.0, 0.0}, std::nullopt, Severity::Info},
        {"rising", 0.3, {0.0, 0.4, 0.8, 1.0}, std::nullopt, Severity::Info},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto issues =
            make_output_degradation_detector(c.threshold)->detect("a", series("quality_score", c.scores));
        if (!c.decline) {
            EXPECT_TRUE(issues.empty());
            continue;
        }
        ASSERT_EQ(issues.size(), 1u);
        const auto& p = payload<cat::OutputDegradation>(issues[0]);
        EXPECT_NEAR(p.slope, -*c.decline, 1e-12);
        EXPECT_EQ(p.window, 3u);
        EXPECT_EQ(issues[0].severity, c.severity);
        EXPECT_DOUBLE_EQ(issues[0].confidence, 1.0);
    }
}

TEST(OutputDegradationDetector, Messages) {
    auto issues = make_output_degradation_detector(0.3)->detect("a", series("quality_score", {1.0, 0.6, 0.3, 0.0}));
    ASSERT_EQ(issues.size(), 1u);
    EXPECT_EQ(issues[0].description, "Output quality declining (0.33/turn)");
    EXPECT_EQ(issues[0].evidence, "Quality decline: 0.33/turn over 3 turns");
    EXPECT_EQ(issues[0].suggested_strategies, (std::vector<std::string>{"replace", "compact"}));
}

}  // namespace
}  // namespace tavri
