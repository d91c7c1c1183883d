// UTF-8 paths reach the file system as the same characters on every platform: a folder
// named in Chinese or with accented letters is found by the directory walk, the standard
// library and OpenFile alike.

#include "platform/file_path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

const char* const kNames[] = {
    "plain",
    "Fichier d\xC3\xA9j\xC3\xA0 l\xC3\xA0",             // Latin-1 letters
    "\xE6\x96\x87\xE4\xBB\xB6\xE7\xB3\xBB\xE7\xBB\x9F",  // CJK
};

TEST(FilePath, Utf8NamesRoundTripThroughPaths) {
    for (const char* name : kNames) {
        const std::filesystem::path path = PathFromUtf8("base") / PathFromUtf8(name);
        EXPECT_EQ(Utf8FromPath(path.filename()), name);
        EXPECT_EQ(Utf8FromPath(path.parent_path()), "base");
    }
}

TEST(FilePath, OpenFileFindsWhatTheFileSystemNamedAndBack) {
    testing::TempDir dir;
    for (const char* name : kNames) {
        const std::string folder = dir.File(name);
        ASSERT_TRUE(std::filesystem::create_directory(PathFromUtf8(folder))) << name;
        const std::string file = Utf8FromPath(PathFromUtf8(folder) / PathFromUtf8(name));

        // Written through the standard library's path, read through OpenFile.
        std::ofstream(PathFromUtf8(file), std::ios::binary) << "keyPair";
        std::FILE* read = OpenFile(file, "rb");
        ASSERT_NE(read, nullptr) << name;
        char text[8] = {};
        EXPECT_EQ(std::fread(text, 1, 7, read), 7u) << name;
        std::fclose(read);
        EXPECT_STREQ(text, "keyPair") << name;

        // Written through OpenFile, found by the directory walk under the same name.
        const std::string second = Utf8FromPath(PathFromUtf8(folder) / "second.bin");
        std::FILE* written = OpenFile(second, "wb");
        ASSERT_NE(written, nullptr) << name;
        std::fclose(written);
        int seen = 0;
        for (const auto& entry : std::filesystem::directory_iterator(PathFromUtf8(folder))) {
            const std::string entryName = Utf8FromPath(entry.path().filename());
            seen += entryName == name || entryName == "second.bin" ? 1 : 0;
        }
        EXPECT_EQ(seen, 2) << name;
    }
}

TEST(FilePath, OpenFileOfAMissingFileIsNull) {
    testing::TempDir dir;
    EXPECT_EQ(OpenFile(dir.File("\xE7\xBC\xBA/missing.bin"), "rb"), nullptr);
}

}  // namespace
}  // namespace korvane
