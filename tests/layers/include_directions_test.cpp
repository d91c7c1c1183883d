// Each layer includes only from the layers below it.
#include "tests/layers/include_directions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/fixtures/temp_dir.h"

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;

TEST(IncludeDirections, TheSourceTreeIncludesOnlyDownward) {
    const std::vector<std::string> upward = UpwardIncludes(KORVANE_SOURCE_DIR, LayerRules());
    std::string listed;
    for (const std::string& entry : upward) {
        listed += "\n  " + entry;
    }
    EXPECT_TRUE(upward.empty()) << "includes against the layers' direction:" << listed;
}

// A small tree: what the check must report and what it must let pass.
TEST(IncludeDirections, ReportsUpwardAndPeerIncludesOnly) {
    TempDir dir;
    const auto write = [&dir](const std::string& file, const std::string& text) {
        fs::create_directories(fs::path(dir.File(file)).parent_path());
        std::ofstream(dir.File(file)) << text;
    };
    write("engine/deep/session.h", "#include \"app/object.h\"\n#include \"platform/tick.h\"\n");
    write("engine/packet.cpp", "  #  include \"images/peer.h\"  // a peer is not below\n#include <app/system.h>\n");
    write("images/loader.cpp", "#include \"images/loader.h\"\n#include \"crypto/keys.h\"\n#include \"gtest/gtest.h\"\n");
    write("app/run.cpp", "#include \"engine/session.h\"\n#include \"ui/window.h\"\n");
    write("engine/notes.txt", "#include \"app/object.h\"\n");
    const std::vector<LayerRule> rules = {
        {"platform", {}},
        {"crypto", {"platform"}},
        {"engine", {"crypto", "platform"}},
        {"images", {"crypto", "platform"}},
        {"app", {"engine", "images", "crypto", "platform"}},
        {"ui", {"app", "engine", "images", "crypto", "platform"}},
    };
    EXPECT_EQ(UpwardIncludes(dir.Path(), rules), (std::vector<std::string>{
                                                     "app/run.cpp: ui/window.h",
                                                     "engine/deep/session.h: app/object.h",
                                                     "engine/packet.cpp: images/peer.h",
                                                 }));
}

}  // namespace
}  // namespace korvane::testing
