// Loading shared modules and finding their entry points.
// Thread safety: safe from any thread (the loader serialises itself).
#pragma once

#include <string>
#include <string_view>

namespace korvane {

using ModuleHandle = void*;

// The platform's file name of a module: "Ruduvar9" gives Ruduvar9.so or Ruduvar9.dll.
std::string ModuleFileName(std::string_view stem);

// Loads by full path, or by bare name through the ordinary library search.
ModuleHandle LoadModule(const std::string& path_or_name);
void* FindSymbol(ModuleHandle module, const char* name);
// The loader's description of the last failure on this thread.
std::string LastModuleError();

}  // namespace korvane
