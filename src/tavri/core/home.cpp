#include "tavri/core/home.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "tavri/core/text.h"

namespace tavri {

namespace {
std::optional<std::string> env_text(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return std::nullopt;
    std::string s(v);
    if (text::sanitize_utf8(s) != s) return std::nullopt;  // not valid UTF-8
    return s;
}
}  // namespace

std::filesystem::path home_dir() {
    if (auto p = env_text("USERPROFILE")) return *p;
    if (auto p = env_text("HOME")) return *p;
    return ".";
}

}  // namespace tavri
