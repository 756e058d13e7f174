// The project's logger: a named spdlog logger ("tavri").
//
// Diagnostics go through it with levels (info, warning) and named fields
// written as key=value pairs after the message. `serve` installs a compact
// console format; until then records go to standard error in spdlog's
// default format.
#pragma once

#include <memory>
#include <string_view>

#include <spdlog/spdlog.h>

namespace tavri::log {

std::shared_ptr<spdlog::logger> logger();

// Installs the compact one-line console format. Returns false when it was
// installed already (the call then changes nothing).
bool install_console_format();

void info(std::string_view msg);
void warn(std::string_view msg);

}  // namespace tavri::log
