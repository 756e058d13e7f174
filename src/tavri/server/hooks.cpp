#include "tavri/server/hooks.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "tavri/core/home.h"
#include "tavri/core/json.h"
#include "tavri/core/log.h"
#include "tavri/core/uuid.h"
#include "tavri/server/assets.h"

namespace fs = std::filesystem;

namespace tavri::server {

namespace {

constexpr std::array<std::string_view, 12> kHookEvents = {
    "SessionStart", "UserPromptSubmit", "PreToolUse",    "PostToolUse",
    "PostToolUseFailure", "SessionEnd", "Stop",          "PreCompact",
    "PostCompact",  "SubagentStart",    "SubagentStop",  "Notification",
};

// Any command mentioning the word belongs to an earlier installation of
// ours (possibly on another port), so the event is left alone.
constexpr std::string_view kOwnMarker = "tavri";

std::string error_text(int err) { return std::strerror(err); }

// Writes the whole file, replacing it. Returns the reason on failure.
std::optional<std::string> write_file(const fs::path& path, std::string_view content) {
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return errno != 0 ? error_text(errno) : std::string("cannot open file");
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) return errno != 0 ? error_text(errno) : std::string("write failed");
    return std::nullopt;
}

// Replaces the file through a temporary sibling and a rename, so the user's
// settings are either the old or the new text, never a truncated mix. A
// symlinked settings file (dotfile managers) is updated at its target rather
// than being replaced by a plain file.
std::optional<std::string> write_file_atomically(const fs::path& path, std::string_view content) {
    std::error_code ec;
    fs::path target = path;
    if (fs::is_symlink(path, ec)) {
        fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec) target = resolved;
    }
    fs::path tmp = target;
    tmp += fmt::format(".tavri-{}.tmp", Uuid::v4().str());
    if (auto err = write_file(tmp, content)) {
        fs::remove(tmp, ec);
        return err;
    }
    fs::rename(tmp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(tmp, ignored);
        return ec.message();
    }
    return std::nullopt;
}

std::optional<std::string> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream buf;
    buf << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(buf).str();
}

void write_script(const fs::path& dir, std::string_view name, std::string_view label) {
    auto content = assets::find(name);
    std::optional<std::string> err;
    if (!content) {
        err = fmt::format("{} is not embedded in this build", name);
    } else {
        err = write_file(dir / std::string(name), *content);
    }
    if (err) log::warn(fmt::format("Could not write {} hook: {}", label, *err));
}

bool holds_own_command(const Json& hooks) {
    for (const auto& h : hooks) {
        auto cmd = json_str(h, "command");
        if (cmd && cmd->find(kOwnMarker) != std::string::npos) return true;
    }
    return false;
}

Json command_hook(const std::string& command) {
    return Json{{"type", "command"}, {"command", command}};
}

// Adds our two commands to every event of the settings' `hooks` object.
// Returns false when the settings have a shape we cannot merge into; they
// must then be left as they are.
bool merge_settings(Json& settings, const HookCommands& cmds) {
    if (!settings.is_object()) {
        log::warn("Claude Code settings are not a JSON object; hooks not registered");
        return false;
    }
    if (!settings.contains("hooks")) settings["hooks"] = Json::object();
    Json& hooks = settings["hooks"];
    if (!hooks.is_object()) {
        log::warn("Claude Code settings member hooks is not an object; hooks not registered");
        return false;
    }
    for (std::string_view event_sv : kHookEvents) {
        const std::string event(event_sv);
        if (!hooks.contains(event)) hooks[event] = Json::array();
        Json& groups = hooks[event];
        if (!groups.is_array()) {
            log::warn(fmt::format("Claude Code hooks for {} are not an array; event skipped", event));
            continue;
        }
        auto group = std::find_if(groups.begin(), groups.end(), [](const Json& g) {
            auto m = json_str(g, "matcher");
            return m && m->empty();
        });
        if (group == groups.end()) {
            groups.push_back(Json{{"matcher", ""},
                                  {"hooks", Json::array({command_hook(cmds.node),
                                                         command_hook(cmds.powershell)})}});
            continue;
        }
        auto inner = group->find("hooks");
        if (inner == group->end() || !inner->is_array()) {
            log::warn(fmt::format(
                "Claude Code hook group for {} has no hooks array; event skipped", event));
            continue;
        }
        if (holds_own_command(*inner)) continue;
        inner->push_back(command_hook(cmds.node));
        inner->push_back(command_hook(cmds.powershell));
    }
    return true;
}

// Returns false when the settings had to be left alone.
bool register_in_settings(const fs::path& home, const HookCommands& cmds) {
    const fs::path settings_path = home / ".claude" / "settings.json";
    std::error_code ec;
    Json settings = Json::object();
    const bool exists = fs::exists(settings_path, ec);
    if (ec) {
        log::warn(fmt::format("Could not inspect {}: {}; hooks not registered",
                              settings_path.string(), ec.message()));
        return false;
    }
    if (!exists) {
        fs::create_directories(settings_path.parent_path(), ec);
    } else {
        auto text = read_file(settings_path);
        if (!text) {
            log::warn(fmt::format("Could not read {}; hooks not registered", settings_path.string()));
            return false;
        }
        settings = Json::parse(*text, nullptr, /*allow_exceptions=*/false);
        if (settings.is_discarded()) {
            log::warn(fmt::format("{} is not valid JSON; left unchanged, hooks not registered",
                                  settings_path.string()));
            return false;
        }
    }
    if (!merge_settings(settings, cmds)) return false;

    const std::string out = settings.dump(2, ' ', false, Json::error_handler_t::replace);
    // A failed write leaves the old file; the server start goes on regardless.
    (void)write_file_atomically(settings_path, out);
    return true;
}

}  // namespace

HookCommands hook_commands(const fs::path& tavri_dir, std::uint16_t port) {
    std::string dir = tavri_dir.string();
    std::replace(dir.begin(), dir.end(), '\\', '/');
    return HookCommands{
        fmt::format("node {}/observe_hook.mjs --port {}", dir, port),
        fmt::format("powershell -NoProfile -ExecutionPolicy Bypass -File {}/observe_hook.ps1 -Port {}",
                    dir, port),
    };
}

void setup_hooks(std::uint16_t port) {
    try {
        const fs::path home = home_dir();
        const fs::path tavri_dir = home / ".tavri";
        std::error_code ec;
        fs::create_directories(tavri_dir, ec);

        (void)write_file(tavri_dir / "port", std::to_string(port));

        write_script(tavri_dir, "observe_hook.mjs", "JS");
        write_script(tavri_dir, "observe_hook.ps1", "PS1");

        // A failed settings write still counts: the scripts and port file are
        // in place and an earlier registration keeps working.
        if (register_in_settings(home, hook_commands(tavri_dir, port))) {
            log::info(fmt::format("Tavri hooks registered for port {}", port));
        }
    } catch (const std::exception& e) {
        // Installation is a convenience; it must never stop the server start.
        log::warn(fmt::format("Hook installation failed: {}", e.what()));
    }
}

}  // namespace tavri::server
