// Where the running program lives: the folder of its executable, the home of
// "server.conf" and of the default web root.
#pragma once

#include <string>

namespace tamsel {

// The folder of the running executable (/proc/self/exe) with a trailing "/".
// Falls back to the current folder when the link cannot be read.
std::string ProgramFolder();

}  // namespace tamsel
