// The dashboard server entry point.
//
// run_server loads the stored sessions, binds the first free loopback port
// from `port` upward (at most port+100, never past 65535), installs the
// Claude Code hooks, prints the banner, serves until SIGINT, then saves all
// sessions and returns. Start-up failures ("No free port found between {}
// and {}", "Failed to bind to port {}: {}") are returned as the error text
// before any hook is touched.
#pragma once

#include <cstdint>
#include <string>

#include "tavri/core/result.h"

namespace tavri::server {

Result<Unit, std::string> run_server(std::uint16_t port);

}  // namespace tavri::server
