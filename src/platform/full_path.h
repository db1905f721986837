// Full file paths: made absolute from the current folder and normalised
// lexically ("." and ".." resolved, "/" and "\" both separators, "/" written).
#pragma once

#include <string>
#include <string_view>

namespace tamsel {

// The full, normalised form of `path`. Symbolic links are not resolved; ".."
// at the root stays at the root; a trailing separator is kept.
std::string FullPath(std::string_view path);

}  // namespace tamsel
