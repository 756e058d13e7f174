#include "tavri/core/log.h"

#include <atomic>

#include <spdlog/sinks/stdout_color_sinks.h>

namespace tavri::log {

std::shared_ptr<spdlog::logger> logger() {
    static std::shared_ptr<spdlog::logger> l = [] {
        auto existing = spdlog::get("tavri");
        if (existing) return existing;
        auto made = spdlog::stderr_color_mt("tavri");
        made->set_pattern("[%Y-%m-%dT%H:%M:%S.%eZ %^%l%$ %n] %v", spdlog::pattern_time_type::utc);
        return made;
    }();
    return l;
}

bool install_console_format() {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true)) return false;
    logger()->set_pattern("%Y-%m-%dT%H:%M:%S.%fZ %^%5l%$ %n: %v", spdlog::pattern_time_type::utc);
    return true;
}

void info(std::string_view msg) { logger()->info("{}", msg); }
void warn(std::string_view msg) { logger()->warn("{}", msg); }

}  // namespace tavri::log
