// Loads a module from the build's bin folder, as the program loads it from its own folder.
#pragma once

#include "platform/dynlib.h"

#include <gtest/gtest.h>
#include <string>

namespace korvane::testing {

inline ModuleHandle LoadBuiltModule(const char* file_name) {
    return LoadModule(std::string(KORVANE_BIN_DIR) + "/" + file_name);
}

// The entry point as its C type; fails the test when it is missing.
template <typename Fn>
Fn EntryPoint(ModuleHandle module, const char* name) {
    void* symbol = FindSymbol(module, name);
    EXPECT_NE(symbol, nullptr) << name << ": " << LastModuleError();
    return reinterpret_cast<Fn>(symbol);
}

}  // namespace korvane::testing
