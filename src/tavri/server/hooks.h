// Claude Code hook installation.
//
// setup_hooks(port) writes ~/.tavri/port, ~/.tavri/observe_hook.mjs and
// ~/.tavri/observe_hook.ps1 (embedded at build time) and merges the two
// hook commands into ~/.claude/settings.json for twelve hook events. It
// never fails the caller: problems are ignored or logged as warnings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace tavri::server {

void setup_hooks(std::uint16_t port);

// The two commands registered for every hook event: the Node.js one and the
// PowerShell one, filled with the .tavri directory (backslashes turned into
// forward slashes, which both shells on Windows accept) and the port.
struct HookCommands {
    std::string node;
    std::string powershell;
};
HookCommands hook_commands(const std::filesystem::path& tavri_dir, std::uint16_t port);

}  // namespace tavri::server
