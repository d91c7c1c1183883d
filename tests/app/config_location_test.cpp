// Where the configuration is looked for, and what the operator is told when it is nowhere.
#include "app/config_location.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

class ConfigLocationTest : public ::testing::Test {
protected:
    // A folder under the scratch root, holding the main INI file when asked.
    std::string Folder(const std::string& name, bool withIni) const {
        const std::string folder = root_.File(name);
        std::filesystem::create_directories(folder);
        if (withIni) {
            std::ofstream(folder + "/KorvaneAppDownload.ini") << "[AppLoad Info]\n";
        }
        return folder;
    }

    testing::TempDir root_;
};

TEST_F(ConfigLocationTest, FirstFolderHoldingTheMainIniInOrder) {
    const std::string home = Folder("home", false);
    Folder("home/.config/KorvaneAppDownload", true);
    const std::string xdg = Folder("xdg", false);
    Folder("xdg/KorvaneAppDownload", true);
    const std::string program = Folder("program", true);
    const std::string bare = Folder("bare-program", false);
    const std::string env = Folder("env", true);
    const std::string emptyEnv = Folder("empty-env", false);
    const std::string option = Folder("option", false);
    const struct {
        const char* name;
        ConfigPlaces places;
        std::string found;  // empty: nothing found
    } cases[] = {
        {"beside the program first", {"", program, env, xdg, home}, program},
        {"the option wins, even beside a configured program", {option, program, env, xdg, home}, option},
        {"installed: the environment's folder", {"", bare, env, xdg, home}, env},
        {"then XDG_CONFIG_HOME", {"", bare, emptyEnv, xdg, home}, xdg + "/KorvaneAppDownload"},
        {"then ~/.config", {"", bare, "", "", home}, home + "/.config/KorvaneAppDownload"},
        {"a relative XDG_CONFIG_HOME is ignored", {"", bare, "", "relative", home}, home + "/.config/KorvaneAppDownload"},
        {"nowhere", {"", bare, emptyEnv, root_.File("no-xdg"), home}, ""},
    };
    for (const auto& c : cases) {
        const ConfigSearch search = FindConfigFolder(c.places);
        EXPECT_EQ(search.folder.value_or(""), c.found) << c.name;
    }
}

TEST_F(ConfigLocationTest, NothingFoundNamesEveryPlaceAndHowToMakeOne) {
    const ConfigPlaces places{"", "/usr/lib/korvane-appdownload", root_.File("env"), "", root_.File("home")};
    const ConfigSearch search = FindConfigFolder(places);
    ASSERT_FALSE(search.folder);
    const std::string suggested = root_.File("home") + "/.config/KorvaneAppDownload";
    EXPECT_EQ(search.looked, (std::vector<std::string>{"/usr/lib/korvane-appdownload", root_.File("env"), suggested}));
    EXPECT_EQ(NoConfigMessage(search),
              "No configuration found: KorvaneAppDownload.ini is in none of these folders:\n"
              "  /usr/lib/korvane-appdownload\n  " + root_.File("env") + "\n  " + suggested +
              "\nMake one with: korvane-make-config " + suggested +
              "\n(or name a folder with --config-dir DIR or KORVANE_CONFIG_DIR)");
}

}  // namespace
}  // namespace korvane
