// The full, normalised folder path of a document root, as extensions see it
// in translated and mapped paths.
#pragma once

#include <string>

namespace tamsel {

// Made absolute from the current folder, "." and ".." resolved lexically,
// "/" and "\" both taken as separators, written with "/" and ending in "/".
std::string DocumentFolderPath(const std::string& root);

}  // namespace tamsel
