// File-system path tests: existence of files and folders, and whether a path
// lies inside a root folder.
#pragma once

#include <string>

namespace tamsel {

// A regular file (after following links) exists at `path`.
bool FileExists(const std::string& path);
// A folder exists at `path`.
bool DirectoryExists(const std::string& path);
// The size of the file at `path`, -1 when it cannot be read.
long long FileSize(const std::string& path);
// True when the full path `file` is the folder `root` itself or lies below it
// (both full paths; compared with letter case, at whole path segments).
bool IsInsideRoot(const std::string& file, const std::string& root);

}  // namespace tamsel
