// Session store, session files and the live channel.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

#include "tavri/server/broadcast.h"
#include "tavri/server/harness_config.h"
#include "tavri/server/store.h"

namespace fs = std::filesystem;
using namespace tavri;
using namespace tavri::server;

namespace {

// A fresh directory under the system temp dir, removed afterwards.
struct TempDir {
    fs::path path;
    TempDir() {
        std::random_device rd;
        path = fs::temp_directory_path() / ("tavri-store-" + std::to_string(rd()) + std::to_string(::getpid()));
        fs::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// Sets or unsets an environment variable for one scope.
struct EnvVar {
    std::string name;
    std::optional<std::string> old;
    EnvVar(std::string n, const char* value) : name(std::move(n)) {
        if (const char* v = std::getenv(name.c_str())) old = v;
        if (value)
            ::setenv(name.c_str(), value, 1);
        else
            ::unsetenv(name.c_str());
    }
    ~EnvVar() {
        if (old)
            ::setenv(name.c_str(), old->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
};

AgentEvent numbered_event(int n) {
    return ev::OutputDelta{"agent", std::to_string(n), Timestamp{} + std::chrono::seconds(1700000000 + n)};
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

std::vector<std::string> dir_names(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(ServerStore, ThousandEventsRoundTripAsNewestTwoHundred) {
    TempDir tmp;
    SessionStore store;
    auto s = SessionState::create("s1", "task", "claude-code", "claude-code");
    for (int i = 0; i < 1000; ++i) push_bounded(s.events, numbered_event(i), kMaxEvents);
    s.event_count = 1000;
    s.total_input_tokens = 42;
    store.insert(std::move(s));
    ASSERT_EQ(save_sessions(store, tmp.path), 1u);

    Json file = Json::parse(read_file(tmp.path / "s1.json"));
    ASSERT_EQ(file["events"].size(), 200u);
    EXPECT_EQ(file["events"][0]["text"], "999");
    EXPECT_EQ(file["events"][199]["text"], "800");
    EXPECT_EQ(file["event_count"], 1000);
    EXPECT_TRUE(file["health_score"].is_null());
    EXPECT_TRUE(file["completed_at"].is_null());
    // Pretty, two-space indentation, sorted keys.
    EXPECT_EQ(read_file(tmp.path / "s1.json").rfind("{\n  \"agent_type\"", 0), 0u);

    SessionStore loaded;
    ASSERT_EQ(load_sessions(loaded, tmp.path), 1u);
    auto got = loaded.read("s1", [](const SessionState& st) {
        return std::make_tuple(st.events.size(), st.event_count, std::get<ev::OutputDelta>(st.events.front()).text,
                               std::get<ev::OutputDelta>(st.events.back()).text, st.total_input_tokens,
                               st.health_score.has_value());
    });
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, std::make_tuple(std::size_t{200}, std::uint64_t{200}, std::string("800"), std::string("999"),
                                    std::uint64_t{42}, false));
}

TEST(ServerStore, LoadingDefaultsAndStatusRules) {
    struct Case {
        const char* name;
        std::string json;
        SessionStatus status;
        std::uint64_t event_count;
        std::string agent_type;
    };
    const std::vector<Case> cases = {
        {"no_events_keeps_count", R"({"id":"a","event_count":7,"status":"running"})", SessionStatus::Running, 7, "solo"},
        {"cancelled_is_pending", R"({"id":"b","status":"cancelled","agent_type":"cursor"})", SessionStatus::Pending, 0,
         "cursor"},
        {"completed_kept", R"({"id":"c","status":"completed","completed_at":"2024-01-01T00:00:00+00:00"})",
         SessionStatus::Completed, 0, "solo"},
        {"unknown_status", R"({"id":"d","status":"weird","event_count":-3})", SessionStatus::Pending, 0, "solo"},
        {"mistyped_members", R"({"id":"e","status":3,"event_count":2.5,"agent_type":7})", SessionStatus::Pending, 0,
         "solo"},
        {"events_override_count", R"({"id":"f","event_count":50,"events":[{"bad":1}]})", SessionStatus::Pending, 0,
         "solo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionState s = session_from_file_json(Json::parse(c.json));
        EXPECT_EQ(s.status, c.status);
        EXPECT_EQ(s.event_count, c.event_count);
        EXPECT_EQ(s.agent_type, c.agent_type);
        EXPECT_FALSE(s.completed_at.has_value());
    }
}

TEST(ServerStore, LoadingSkipsForeignAndBrokenFiles) {
    TempDir tmp;
    write_file(tmp.path / "good.json", R"({"id":"good","task":"t"})");
    write_file(tmp.path / "upper.JSON", R"({"id":"upper"})");
    write_file(tmp.path / "backup.json.bak", R"({"id":"backup"})");
    write_file(tmp.path / "half.json.123.tmp", R"({"id":"half"})");
    write_file(tmp.path / "broken.json", R"({"id":"broken",)");
    write_file(tmp.path / "array.json", R"([1,2,3])");
    write_file(tmp.path / "deep.json", "{\"id\":\"deep\",\"x\":" + std::string(100000, '[') + std::string(100000, ']') + "}");
    fs::create_directories(tmp.path / "dir.json");

    SessionStore store;
    EXPECT_EQ(load_sessions(store, tmp.path), 1u);
    EXPECT_EQ(store.ids(), std::vector<std::string>{"good"});
    EXPECT_EQ(load_sessions(store, tmp.path / "missing"), 0u);
}

TEST(ServerStore, HealthScoreRoundTrips) {
    TempDir tmp;
    SessionStore store;
    auto s = SessionState::create("h", "", "solo", "solo");
    HealthScore hs;
    hs.agent_id = "h";
    hs.overall = 0.75;
    hs.dimensions.cost = 0.5;
    s.health_score = hs;
    s.prompt_history = {"one", "two"};
    s.model_name = "m";
    store.insert(std::move(s));
    store.insert(SessionState::create("empty", "", "solo", "solo"));
    save_sessions(store, tmp.path);

    SessionStore loaded;
    load_sessions(loaded, tmp.path);
    auto h = loaded.read("h", [](const SessionState& st) { return std::make_tuple(st.health_score, st.model_name,
                                                                                 st.prompt_history.size()); });
    ASSERT_TRUE(h);
    ASSERT_TRUE(std::get<0>(*h).has_value());
    EXPECT_EQ(*std::get<0>(*h), hs);
    EXPECT_EQ(std::get<1>(*h), std::optional<std::string>("m"));
    EXPECT_EQ(std::get<2>(*h), 2u);
    auto e = loaded.read("empty", [](const SessionState& st) { return st.health_score.has_value(); });
    ASSERT_TRUE(e);
    EXPECT_FALSE(*e);
}

TEST(ServerStore, SaveIsAtomicAndKeepsFilesOfRemovedSessions) {
    TempDir tmp;
    SessionStore store;
    store.insert(SessionState::create("keep", "", "solo", "solo"));
    store.insert(SessionState::create("gone", "", "solo", "solo"));
    save_sessions(store, tmp.path);
    // A stale, truncated file from an earlier run is replaced whole.
    write_file(tmp.path / "keep.json", "{\"id\":\"ke");
    ASSERT_TRUE(store.remove("gone"));
    save_sessions(store, tmp.path);

    EXPECT_EQ(dir_names(tmp.path), (std::vector<std::string>{"gone.json", "keep.json"}));
    EXPECT_EQ(Json::parse(read_file(tmp.path / "keep.json"))["id"], "keep");
}

TEST(ServerStore, UnsafeIdsStayInsideTheDirectoryAndRoundTrip) {
    TempDir tmp;
    const fs::path dir = tmp.path / "sessions";
    const std::vector<std::string> ids = {"../evil", "a/b", "a\\b", "..", ".hidden", "con:1", "CON", "nul.txt",
                                          "", "x y", "~41", "caf\xc3\xa9", std::string(300, 'z'), "plain-id_1.2"};
    SessionStore store;
    for (const auto& id : ids) store.insert(SessionState::create(id, "t:" + id, "solo", "solo"));
    EXPECT_EQ(save_sessions(store, dir), ids.size());

    // Nothing outside the directory, and every name made of safe characters.
    EXPECT_EQ(dir_names(tmp.path), std::vector<std::string>{"sessions"});
    auto names = dir_names(dir);
    EXPECT_EQ(names.size(), ids.size());
    for (const auto& n : names) {
        EXPECT_NE(n.front(), '.') << n;
        EXPECT_EQ(n.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-~"),
                  std::string::npos)
            << n;
        EXPECT_LE(n.size(), 240u);
    }
    EXPECT_TRUE(fs::exists(dir / "plain-id_1.2.json"));

    SessionStore loaded;
    EXPECT_EQ(load_sessions(loaded, dir), ids.size());
    for (const auto& id : ids) {
        auto task = loaded.read(id, [](const SessionState& s) { return s.task; });
        ASSERT_TRUE(task) << id;
        EXPECT_EQ(*task, "t:" + id);
        if (id.size() < 100) EXPECT_EQ(decode_session_file_stem(session_file_stem(id)), id) << id;
    }
}

TEST(ServerStore, HomeDirectoryChoosesTheSessionsPath) {
    TempDir tmp;
    const fs::path profile = tmp.path / "profile", home = tmp.path / "home", cwd = tmp.path / "cwd";
    for (const auto& p : {profile, home, cwd}) fs::create_directories(p);
    const fs::path old_cwd = fs::current_path();
    fs::current_path(cwd);

    struct Case {
        const char* name;
        const char* userprofile;
        const char* home;
        fs::path expect_root;
    };
    const std::vector<Case> cases = {
        {"profile_wins", profile.c_str(), home.c_str(), profile},
        {"home_when_no_profile", nullptr, home.c_str(), home},
        {"empty_profile_is_unset", "", home.c_str(), home},
        {"neither_uses_cwd", nullptr, nullptr, cwd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EnvVar up("USERPROFILE", c.userprofile), hm("HOME", c.home);
        SessionStore store;
        store.insert(SessionState::create(c.name, "", "solo", "solo"));
        save_sessions(store);
        EXPECT_TRUE(fs::exists(c.expect_root / ".tavri" / "sessions" / (std::string(c.name) + ".json")));
        SessionStore loaded;
        EXPECT_GE(load_sessions(loaded), 1u);
        EXPECT_TRUE(loaded.contains(c.name));
    }
    fs::current_path(old_cwd);
}

TEST(ServerStore, RemovalClosesTheLiveChannelAndQueueRefuses) {
    SessionStore store;
    store.insert(SessionState::create("s", "", "solo", "solo"));
    auto rx = store.write("s", [](SessionState& s) { return s.live.subscribe(); });
    ASSERT_TRUE(rx);
    auto offered = store.write("s", [](SessionState& s) { return s.offer_intervention(iv::Resume{}); });
    EXPECT_EQ(offered, std::optional<bool>(false));
    store.write("s", [](SessionState& s) { s.live.send(numbered_event(1)); });
    store.remove("s");
    EXPECT_EQ(rx->try_recv().status, LiveChannel::Status::Value);
    EXPECT_EQ(rx->try_recv().status, LiveChannel::Status::Closed);
}

TEST(ServerBroadcast, LaggingReceiversAreToldHowManyTheyMissed) {
    struct Case {
        int sent;
        std::uint64_t skipped;  // 0: no lag report
    };
    for (Case c : {Case{300, 44}, Case{256, 0}, Case{257, 1}, Case{1000, 744}}) {
        SCOPED_TRACE(c.sent);
        Broadcast<int> ch(256);
        auto early = ch.subscribe();
        for (int i = 0; i < c.sent; ++i) ch.send(i);
        auto late = ch.subscribe();  // sees only what comes after it

        auto first = early.try_recv();
        int expect_next = 0;
        if (c.skipped > 0) {
            ASSERT_EQ(first.status, Broadcast<int>::Status::Lagged);
            EXPECT_EQ(first.skipped, c.skipped);
            expect_next = static_cast<int>(c.skipped);
            first = early.try_recv();
        }
        int got = 0;
        for (auto r = first; r.status == Broadcast<int>::Status::Value; r = early.try_recv(), ++got)
            ASSERT_EQ(*r.value, expect_next + got);
        EXPECT_EQ(got, c.sent - static_cast<int>(c.skipped));
        EXPECT_EQ(late.try_recv().status, Broadcast<int>::Status::Empty);
        ch.send(-1);
        EXPECT_EQ(*late.try_recv().value, -1);
    }
}

TEST(ServerBroadcast, WakerFiresOnSendAndClose) {
    Broadcast<int> ch(4);
    auto rx = ch.subscribe();
    int woken = 0;
    rx.notify_when_ready([&] { ++woken; });
    EXPECT_EQ(woken, 0);
    ch.send(1);
    EXPECT_EQ(woken, 1);
    ch.send(2);  // one-shot
    EXPECT_EQ(woken, 1);
    rx.notify_when_ready([&] { ++woken; });  // ready now
    EXPECT_EQ(woken, 2);
    rx.try_recv();
    rx.try_recv();
    rx.notify_when_ready([&] { woken += 10; });
    ch.close();
    EXPECT_EQ(woken, 12);
    EXPECT_EQ(ch.receiver_count(), 1u);
}

TEST(ServerHarnessConfig, DefaultsEqualTheFixedCatalogues) {
    auto d = HarnessConfigState::defaults();
    EXPECT_EQ(d.preset, "claude-code");
    EXPECT_FALSE(d.dry_run);
    EXPECT_EQ(d.observers.size(), 12u);
    EXPECT_EQ(d.detectors.size(), 16u);
    EXPECT_EQ(d.strategies.size(), 14u);
    EXPECT_EQ(d.observers.front(), "token");
    EXPECT_EQ(d.detectors.back(), "compliance_gap");
    EXPECT_EQ(d.strategies.back(), "quarantine");
    HarnessConfigStore shared;
    shared.write([](HarnessConfigState& s) { s.detectors.clear(); });
    EXPECT_TRUE(shared.snapshot().detectors.empty());
    EXPECT_EQ(all_detectors(), d.detectors);
}
