// The user's home directory: USERPROFILE when set, else HOME, else the
// current directory ("."). A value that is empty or not valid UTF-8 counts
// as unset.
#pragma once

#include <filesystem>

namespace tavri {

std::filesystem::path home_dir();

}  // namespace tavri
