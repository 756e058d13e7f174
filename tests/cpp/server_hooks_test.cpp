// Hook installation: port file, hook scripts and the Claude Code settings
// merge, all under a temporary home directory.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include "tavri/core/json.h"
#include "tavri/core/log.h"
#include "tavri/server/assets.h"
#include "tavri/server/hooks.h"

namespace fs = std::filesystem;
using tavri::Json;
using tavri::server::hook_commands;
using tavri::server::setup_hooks;

namespace {

const std::vector<std::string> kEvents = {
    "SessionStart", "UserPromptSubmit", "PreToolUse",  "PostToolUse",
    "PostToolUseFailure", "SessionEnd", "Stop",        "PreCompact",
    "PostCompact",  "SubagentStart",    "SubagentStop", "Notification"};

std::string read_text(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_text(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

std::optional<std::string> getenv_opt(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}

void restore_env(const char* name, const std::optional<std::string>& v) {
    if (v) setenv(name, v->c_str(), 1);
    else unsetenv(name);
}

class HooksTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_home_ = getenv_opt("HOME");
        saved_profile_ = getenv_opt("USERPROFILE");
        std::string tmpl = (fs::temp_directory_path() / "tavri-hooks-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        home_ = tmpl;
        unsetenv("USERPROFILE");
        setenv("HOME", home_.c_str(), 1);

        sink_ = std::make_shared<spdlog::sinks::ostream_sink_mt>(log_);
        tavri::log::logger()->sinks().push_back(sink_);
    }
    void TearDown() override {
        auto& sinks = tavri::log::logger()->sinks();
        std::erase(sinks, sink_);
        restore_env("HOME", saved_home_);
        restore_env("USERPROFILE", saved_profile_);
        std::error_code ec;
        fs::remove_all(home_, ec);
    }

    fs::path settings_path() const { return home_ / ".claude" / "settings.json"; }
    Json settings() const { return Json::parse(read_text(settings_path())); }
    std::string logged() const { return log_.str(); }

    // The group the installer adds, for this home and port.
    Json own_group(std::uint16_t port) const {
        auto c = hook_commands(home_ / ".tavri", port);
        return Json{{"matcher", ""},
                    {"hooks", Json::array({Json{{"type", "command"}, {"command", c.node}},
                                           Json{{"type", "command"}, {"command", c.powershell}}})}};
    }

    fs::path home_;
    std::ostringstream log_;

private:
    std::optional<std::string> saved_home_, saved_profile_;
    std::shared_ptr<spdlog::sinks::ostream_sink_mt> sink_;
};

TEST_F(HooksTest, FreshInstallWritesPortFileScriptsAndAllTwelveEvents) {
    setup_hooks(4321);

    EXPECT_EQ(read_text(home_ / ".tavri" / "port"), "4321");
    for (const char* name : {"observe_hook.mjs", "observe_hook.ps1"}) {
        auto asset = tavri::assets::find(name);
        ASSERT_TRUE(asset) << name;
        EXPECT_FALSE(asset->empty()) << name;
        EXPECT_EQ(read_text(home_ / ".tavri" / name), std::string(*asset)) << name;
    }

    const std::string text = read_text(settings_path());
    Json s = Json::parse(text);
    EXPECT_EQ(text, s.dump(2));  // pretty, two spaces, sorted keys
    ASSERT_EQ(s.size(), 1u);
    ASSERT_EQ(s["hooks"].size(), kEvents.size());
    const std::string dir = home_.string() + "/.tavri";
    for (const auto& ev : kEvents) {
        ASSERT_EQ(s["hooks"][ev], Json::array({own_group(4321)})) << ev;
    }
    EXPECT_EQ(s["hooks"]["Stop"][0]["hooks"][0]["command"],
              "node " + dir + "/observe_hook.mjs --port 4321");
    EXPECT_EQ(s["hooks"]["Stop"][0]["hooks"][1]["command"],
              "powershell -NoProfile -ExecutionPolicy Bypass -File " + dir +
                  "/observe_hook.ps1 -Port 4321");
    EXPECT_NE(logged().find("Tavri hooks registered for port 4321"), std::string::npos);
}

struct MergeCase {
    const char* name;
    const char* event;
    const char* before;  // value of hooks[event] before the merge
    // Expected value afterwards; "$N"/"$P" stand for the two installer hook
    // objects and "$G" for the installer group.
    const char* after;
};

Json expand(const Json& v, const Json& group) {
    if (v.is_string()) {
        if (v == "$G") return group;
        if (v == "$N") return group["hooks"][0];
        if (v == "$P") return group["hooks"][1];
        return v;
    }
    if (v.is_array() || v.is_object()) {
        Json out = v;
        for (auto& [k, e] : out.items()) e = expand(e, group);
        return out;
    }
    return v;
}

TEST_F(HooksTest, MergesIntoExistingGroupsWithoutDisturbingThem) {
    const MergeCase cases[] = {
        {"matcher group kept, ours appended after it", "PreToolUse",
         R"([{"matcher":"Bash","hooks":[{"type":"command","command":"audit.sh"}]}])",
         R"([{"matcher":"Bash","hooks":[{"type":"command","command":"audit.sh"}]},"$G"])"},
        {"empty-matcher group of another tool gets both commands", "Stop",
         R"([{"matcher":"","hooks":[{"type":"command","command":"notify-send done"}]}])",
         R"([{"matcher":"","hooks":[{"type":"command","command":"notify-send done"},"$N","$P"]}])"},
        {"earlier installation on another port is left alone", "Stop",
         R"([{"matcher":"","hooks":[{"type":"command","command":"node /old/.tavri/observe_hook.mjs --port 3007"}]}])",
         R"([{"matcher":"","hooks":[{"type":"command","command":"node /old/.tavri/observe_hook.mjs --port 3007"}]}])"},
        {"only the first empty-matcher group is used", "SessionEnd",
         R"([{"matcher":"","hooks":[]},{"matcher":"","hooks":[{"command":"x"}]}])",
         R"([{"matcher":"","hooks":["$N","$P"]},{"matcher":"","hooks":[{"command":"x"}]}])"},
        {"a group without matcher is not the empty matcher", "Notification",
         R"([{"hooks":[{"type":"command","command":"beep"}]}])",
         R"([{"hooks":[{"type":"command","command":"beep"}]},"$G"])"},
        {"empty array gets our group", "PreCompact", R"([])", R"(["$G"])"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json initial = {{"model", "opus"},
                        {"permissions", {{"allow", {"Bash(ls:*)"}}}},
                        {"hooks", {{c.event, Json::parse(c.before)},
                                   {"CustomThing", Json::array({{{"matcher", "x"}}})}}}};
        write_text(settings_path(), initial.dump());

        setup_hooks(3000);

        Json s = settings();
        EXPECT_EQ(s["hooks"][c.event], expand(Json::parse(c.after), own_group(3000)));
        EXPECT_EQ(s["model"], "opus");
        EXPECT_EQ(s["permissions"], initial["permissions"]);
        EXPECT_EQ(s["hooks"]["CustomThing"], initial["hooks"]["CustomThing"]);
        for (const auto& ev : kEvents) {
            if (ev != c.event) EXPECT_EQ(s["hooks"][ev], Json::array({own_group(3000)})) << ev;
        }
        EXPECT_EQ(s["hooks"].size(), kEvents.size() + 1);  // + CustomThing
    }
}

TEST_F(HooksTest, SecondRunChangesNothingEvenOnAnotherPort) {
    write_text(settings_path(),
               R"({"hooks":{"PreToolUse":[{"matcher":"Bash","hooks":[{"type":"command","command":"a"}]}]}})");
    setup_hooks(3000);
    const std::string once = read_text(settings_path());
    setup_hooks(3000);
    EXPECT_EQ(read_text(settings_path()), once);
    setup_hooks(3005);
    EXPECT_EQ(read_text(settings_path()), once);
    EXPECT_EQ(read_text(home_ / ".tavri" / "port"), "3005");
}

TEST_F(HooksTest, UnmergeableSettingsFileIsLeftByteForByte) {
    const char* files[] = {
        "{\"hooks\": {",          // unparsable
        "",                       // empty file
        "[1, 2, 3]",              // top level not an object
        "\"just text\"",
        "{\"hooks\": []}",        // hooks not an object
        "{\"hooks\": \"none\"}",
    };
    for (const char* content : files) {
        SCOPED_TRACE(content);
        write_text(settings_path(), content);
        log_.str("");

        setup_hooks(3100);

        EXPECT_EQ(read_text(settings_path()), content);
        EXPECT_NE(logged().find("warn"), std::string::npos) << logged();
        EXPECT_EQ(logged().find("hooks registered"), std::string::npos) << logged();
        // The rest of the installation still happens.
        EXPECT_EQ(read_text(home_ / ".tavri" / "port"), "3100");
        EXPECT_TRUE(fs::exists(home_ / ".tavri" / "observe_hook.mjs"));
    }
    // No temporary file is left beside the settings.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(home_ / ".claude")) ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST_F(HooksTest, EventsOfTheWrongShapeAreSkippedOthersMerged) {
    Json initial = {{"hooks",
                     {{"Stop", {{"matcher", ""}}},
                      {"PreToolUse", Json::array({{{"matcher", ""}, {"hooks", "oops"}}})},
                      {"SessionStart", Json::array({{{"matcher", ""}}})}}}};
    write_text(settings_path(), initial.dump());

    setup_hooks(3000);

    Json s = settings();
    for (const char* ev : {"Stop", "PreToolUse", "SessionStart"}) {
        EXPECT_EQ(s["hooks"][ev], initial["hooks"][ev]) << ev;
    }
    EXPECT_EQ(s["hooks"]["PostToolUse"], Json::array({own_group(3000)}));
    EXPECT_EQ(s["hooks"].size(), kEvents.size());
    EXPECT_NE(logged().find("Stop"), std::string::npos);
    EXPECT_NE(logged().find("PreToolUse"), std::string::npos);
}

TEST_F(HooksTest, ScriptWriteFailureIsWarnedAndInstallationContinues) {
    fs::create_directories(home_ / ".tavri" / "observe_hook.mjs");  // a directory in the way

    setup_hooks(3000);

    EXPECT_NE(logged().find("Could not write JS hook: "), std::string::npos) << logged();
    EXPECT_EQ(logged().find("Could not write PS1 hook"), std::string::npos);
    EXPECT_EQ(read_text(home_ / ".tavri" / "observe_hook.ps1"),
              std::string(*tavri::assets::find("observe_hook.ps1")));
    EXPECT_EQ(settings()["hooks"]["Stop"], Json::array({own_group(3000)}));
}

TEST_F(HooksTest, SymlinkedSettingsAreUpdatedAtTheirTarget) {
    const fs::path real = home_ / "dotfiles" / "claude.json";
    write_text(real, R"({"theme":"dark"})");
    fs::create_directories(settings_path().parent_path());
    fs::create_symlink(real, settings_path());

    setup_hooks(3000);

    EXPECT_TRUE(fs::is_symlink(settings_path()));
    Json s = Json::parse(read_text(real));
    EXPECT_EQ(s["theme"], "dark");
    EXPECT_EQ(s["hooks"]["Stop"], Json::array({own_group(3000)}));
}

TEST(HookCommands, BackslashesOfTheDirectoryBecomeForwardSlashes) {
    struct Case {
        fs::path dir;
        std::uint16_t port;
        const char* node;
        const char* ps;
    };
    const Case cases[] = {
        {fs::path("C:\\Users\\me") / ".tavri", 3000,
         "node C:/Users/me/.tavri/observe_hook.mjs --port 3000",
         "powershell -NoProfile -ExecutionPolicy Bypass -File C:/Users/me/.tavri/observe_hook.ps1 -Port 3000"},
        {fs::path("/home/dev/.tavri"), 65535,
         "node /home/dev/.tavri/observe_hook.mjs --port 65535",
         "powershell -NoProfile -ExecutionPolicy Bypass -File /home/dev/.tavri/observe_hook.ps1 -Port 65535"},
    };
    for (const auto& c : cases) {
        auto cmds = hook_commands(c.dir, c.port);
        EXPECT_EQ(cmds.node, c.node);
        EXPECT_EQ(cmds.powershell, c.ps);
    }
}

TEST_F(HooksTest, UserProfileWinsAndItsBackslashesAreConvertedInCommands) {
    const fs::path profile = home_ / "Users\\me";  // one directory whose name holds a backslash
    setenv("USERPROFILE", profile.c_str(), 1);

    setup_hooks(3000);

    EXPECT_EQ(read_text(profile / ".tavri" / "port"), "3000");
    EXPECT_FALSE(fs::exists(home_ / ".tavri"));
    Json s = Json::parse(read_text(profile / ".claude" / "settings.json"));
    EXPECT_EQ(s["hooks"]["SessionStart"][0]["hooks"][0]["command"],
              "node " + home_.string() + "/Users/me/.tavri/observe_hook.mjs --port 3000");
}

}  // namespace
