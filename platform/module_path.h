// Where the program's own file lies.
#pragma once

#include <string>

namespace korvane {

// Full path of the running executable.
std::string OwnModulePath();
// Its folder, without a trailing separator.
std::string OwnModuleDir();
// Folder of the shared object that contains the given address (for modules).
std::string ModuleDirOf(const void* address);

}  // namespace korvane
