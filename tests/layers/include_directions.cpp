#include "tests/layers/include_directions.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <system_error>

namespace korvane::testing {

namespace fs = std::filesystem;

namespace {

bool IsSource(const fs::path& file) {
    static const std::set<std::string> kExtensions = {".h", ".hpp", ".c", ".cpp", ".inc"};
    return kExtensions.count(file.extension().string()) != 0;
}

// The top-level folders of the project includes in one file, with the header named.
std::vector<std::pair<std::string, std::string>> ProjectIncludes(const fs::path& file) {
    static const std::regex kInclude(R"(^\s*#\s*include\s*"(([A-Za-z0-9_]+)/[^"]+)\")");
    std::vector<std::pair<std::string, std::string>> found;
    std::ifstream in(file);
    std::string line;
    std::smatch match;
    while (std::getline(in, line)) {
        if (std::regex_search(line, match, kInclude)) {
            found.emplace_back(match[2].str(), match[1].str());
        }
    }
    return found;
}

}  // namespace

const std::vector<LayerRule>& LayerRules() {
    static const std::vector<LayerRule> kRules = {
        {"platform", {}},
        {"modules", {"platform"}},
        {"crypto", {"platform"}},
        {"discovery", {"platform"}},
        {"engine", {"crypto", "modules", "platform"}},
        {"images", {"crypto", "platform"}},
        {"records", {"crypto", "discovery", "modules", "platform"}},
        {"app", {"engine", "images", "records", "crypto", "discovery", "modules", "platform"}},
        {"ui", {"app", "engine", "images", "records", "crypto", "discovery", "modules", "platform", "res"}},
        {"tools", {"records", "crypto", "modules", "platform"}},
        {"sim", {"crypto", "modules", "platform"}},
    };
    return kRules;
}

std::vector<std::string> UpwardIncludes(const fs::path& root, const std::vector<LayerRule>& rules) {
    std::set<std::string> known;
    for (const LayerRule& rule : rules) {
        known.insert(rule.folder);
    }
    known.insert({"tests", "bench", "fuzz"});
    std::vector<std::string> upward;
    for (const LayerRule& rule : rules) {
        std::error_code error;
        const fs::path folder = root / rule.folder;
        for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            if (!it->is_regular_file() || !IsSource(it->path())) {
                continue;
            }
            for (const auto& [target, header] : ProjectIncludes(it->path())) {
                const bool allowed = target == rule.folder || known.count(target) == 0 ||
                                     std::find(rule.mayInclude.begin(), rule.mayInclude.end(), target) !=
                                         rule.mayInclude.end();
                if (!allowed) {
                    upward.push_back(it->path().lexically_relative(root).generic_string() + ": " + header);
                }
            }
        }
    }
    std::sort(upward.begin(), upward.end());
    return upward;
}

}  // namespace korvane::testing
