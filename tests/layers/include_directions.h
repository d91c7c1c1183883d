// The layers of the source tree and which folders each may include from: arrows point
// down only, so a lower layer never sees a higher one.
// Thread safety: pure functions over the file system; calls may run at once.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace korvane::testing {

struct LayerRule {
    const char* folder;
    std::vector<std::string> mayInclude;  // top-level folders, its own included
};

// The project's layers, lowest first. Folders not listed (tests, bench, fuzz) are free.
const std::vector<LayerRule>& LayerRules();

// Every project include of a layer's sources that points to a folder the layer may not
// include, as "file: folder/header" with the file relative to root.
std::vector<std::string> UpwardIncludes(const std::filesystem::path& root, const std::vector<LayerRule>& rules);

}  // namespace korvane::testing
