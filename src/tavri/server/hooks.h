// Claude Code hook installation.
//
// setup_hooks(port) writes ~/.tavri/port, ~/.tavri/observe_hook.mjs and
// ~/.tavri/observe_hook.ps1 (embedded at build time) and merges the two
// hook commands into ~/.claude/settings.json for twelve hook events. It
// never fails the caller: problems are ignored or logged as warnings.
#pragma once

#include <cstdint>

namespace tavri::server {

void setup_hooks(std::uint16_t port);

}  // namespace tavri::server
