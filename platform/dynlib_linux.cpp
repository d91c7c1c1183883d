#include "platform/dynlib.h"

#include <dlfcn.h>

namespace korvane {
namespace {

thread_local std::string last_error;

void RememberLoaderError() {
    const char* text = ::dlerror();
    last_error = text != nullptr ? text : "unknown loader error";
}

}  // namespace

std::string ModuleFileName(std::string_view stem) { return std::string(stem) + ".so"; }

ModuleHandle LoadModule(const std::string& path_or_name) {
    // Bind every symbol now, so a module missing a dependency fails here and not mid-run.
    ModuleHandle module = ::dlopen(path_or_name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        RememberLoaderError();
    }
    return module;
}

void* FindSymbol(ModuleHandle module, const char* name) {
    if (module == nullptr || name == nullptr) {
        last_error = "no module or no name";
        return nullptr;
    }
    ::dlerror();
    void* symbol = ::dlsym(module, name);
    if (symbol == nullptr) {
        RememberLoaderError();
    }
    return symbol;
}

std::string LastModuleError() { return last_error; }

}  // namespace korvane
