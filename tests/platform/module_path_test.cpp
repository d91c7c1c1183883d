#include "platform/dynlib.h"
#include "platform/module_path.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(ModulePath, ExecutableAndItsFolder) {
    const std::string path = OwnModulePath();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    EXPECT_EQ(std::filesystem::path(path).filename(), "platform_tests");
    EXPECT_EQ(OwnModuleDir(), std::filesystem::path(path).parent_path().string());
}

TEST(ModulePath, AddressInTheProgramGivesTheProgramsFolder) {
    static const int anchor = 0;
    EXPECT_EQ(ModuleDirOf(&anchor), OwnModuleDir());
}

TEST(ModulePath, AddressInALibraryGivesTheLibrarysFolder) {
    ModuleHandle libc = LoadModule("libc.so.6");
    ASSERT_NE(libc, nullptr);
    const std::string dir = ModuleDirOf(FindSymbol(libc, "strlen"));
    EXPECT_NE(dir, OwnModuleDir());
    EXPECT_TRUE(std::filesystem::exists(dir + "/libc.so.6")) << dir;
}

TEST(Dynlib, MissingModuleAndSymbolAreReported) {
    EXPECT_EQ(LoadModule("/nonexistent/Ruduvar9.so"), nullptr);
    EXPECT_NE(LastModuleError().find("Ruduvar9.so"), std::string::npos) << LastModuleError();

    ModuleHandle libc = LoadModule("libc.so.6");
    ASSERT_NE(libc, nullptr);
    EXPECT_NE(FindSymbol(libc, "strlen"), nullptr);
    EXPECT_EQ(FindSymbol(libc, "RERizu_GetIniStringW"), nullptr);
    EXPECT_FALSE(LastModuleError().empty());
    EXPECT_EQ(FindSymbol(nullptr, "strlen"), nullptr);
}

}  // namespace
}  // namespace korvane
