// Files embedded in the binary at build time: the dashboard's page, script
// and style sheet and the two hook scripts (src/tavri/server/assets/).
#pragma once

#include <optional>
#include <string_view>

namespace tavri::assets {

// The content of the embedded file with this name ("index.html",
// "observe_hook.mjs", ...), or nothing.
std::optional<std::string_view> find(std::string_view name);

}  // namespace tavri::assets
