#include "platform/module_path.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>
#include <vector>

namespace korvane {
namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string OwnModulePath() {
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string OwnModuleDir() { return FolderOf(OwnModulePath()); }

std::string ModuleDirOf(const void* address) {
    Dl_info info{};
    void* extra = nullptr;
    // The main program has an empty link-map name; its dli_fname is only what it was started as.
    if (::dladdr1(address, &info, &extra, RTLD_DL_LINKMAP) == 0 || extra == nullptr) {
        return OwnModuleDir();
    }
    const auto* map = static_cast<const link_map*>(extra);
    if (map->l_name == nullptr || map->l_name[0] == '\0') {
        return OwnModuleDir();
    }
    char resolved[PATH_MAX];
    if (::realpath(map->l_name, resolved) == nullptr) {
        return OwnModuleDir();
    }
    return FolderOf(resolved);
}

}  // namespace korvane
