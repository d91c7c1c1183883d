#include "app/module_binding.h"

#include <filesystem>
#include <system_error>

#include "app/KorvaneAppDownloadApp.h"
#include "platform/dynlib.h"
#include "platform/file_path.h"

namespace korvane {

namespace {

// The address of a module's function as the given function pointer type.
template <typename Fn>
bool FindEntry(ModuleHandle module, const char* name, Fn& entry) {
    entry = reinterpret_cast<Fn>(FindSymbol(module, name));
    return entry != nullptr;
}

}  // namespace

bool BindChannelModule(CKorvaneAppDownloadApp& app, const std::string& modulePath) {
    // Loaded for the program's whole life: it is never unloaded.
    const ModuleHandle channelDll = LoadModule(modulePath);
    if (channelDll == nullptr) {
        return false;
    }
    const bool create = FindEntry(channelDll, "CreateChannel", app.pfnCreateChannel);
    const bool release = FindEntry(channelDll, "ReleaseChannel", app.pfnReleaseChannel);
    return create && release;
}

bool BindSigningModule(CKorvaneAppDownloadApp& app) {
    ModuleHandle module = LoadModule(ModuleFileName(kSigningModule));
    if (module == nullptr) {
        return false;
    }
    const bool sign = FindEntry(module, "sign", app.signing.pfnSign);
    const bool verify = FindEntry(module, "verify", app.signing.pfnVerify);
    return sign && verify;
}

bool BindUtilityModule(UtilityModule& utility, const std::string& configDir, const std::string& moduleDir) {
    if (!configDir.empty()) {
        std::error_code error;
        std::filesystem::current_path(PathFromUtf8(configDir), error);
        if (error) {
            return false;
        }
    }
    ModuleHandle module = LoadModule(Utf8FromPath(PathFromUtf8(moduleDir) / ModuleFileName(kUtilityModule)));
    if (module == nullptr) {
        return false;
    }
    bool complete = true;
#define KORVANE_BIND_UTILITY(name) complete = FindEntry(module, "RERizu_" #name, utility.name) && complete;
    RERIZU_ENTRY_POINTS(KORVANE_BIND_UTILITY)
#undef KORVANE_BIND_UTILITY
    return complete;
}

}  // namespace korvane
