// korvane-keygen: a usable key pair file, never an overwritten one unless asked.

#include "modules/signing/keypair.h"
#include "modules/signing/signing_abi.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/modules/built_module.h"
#include "tests/platform/test_files.h"

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

namespace korvane {
namespace {

using testing::ReadBytes;
using testing::TempDir;

// Runs the tool through the shell with the given arguments; its exit status.
int RunKeygen(const std::string& arguments, const std::string& folder = ".") {
    const std::string command =
        "cd '" + folder + "' && '" KORVANE_KEYGEN "' " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Keygen, WritesAnOwnerOnlyKeyPairThatSigns) {
    TempDir dir;
    const std::string path = dir.File("keyPair.bin");
    ASSERT_EQ(RunKeygen("--out '" + path + "'"), 0);
    const std::string bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), kKeyPairSize);
    KeyPairBlock block{};
    std::copy(bytes.begin(), bytes.end(), block.begin());
    EXPECT_TRUE(KeyPairSealed(block));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    ModuleHandle module = testing::LoadBuiltModule("RODEdar.so");
    ASSERT_NE(module, nullptr) << LastModuleError();
    const uint8_t data[] = {0, 1, 2, 3};
    uint8_t signature[96];
    ASSERT_EQ(testing::EntryPoint<SignFn>(module, "sign")(block.data(), data, 4, 0, signature), 0);
    EXPECT_EQ(testing::EntryPoint<VerifyFn>(module, "verify")(block.data(), data, 4, 0, signature), 1);
}

TEST(Keygen, DefaultFileIsKeyPairBinInTheCurrentFolder) {
    TempDir dir;
    ASSERT_EQ(RunKeygen("", dir.Path()), 0);
    EXPECT_EQ(std::filesystem::file_size(dir.File("keyPair.bin")), kKeyPairSize);
}

TEST(Keygen, KeepsAnExistingFileUnlessForced) {
    TempDir dir;
    const std::string path = dir.File("keyPair.bin");
    testing::WriteBytes(path, "trusted by the terminals");
    EXPECT_EQ(RunKeygen("--out '" + path + "'"), 1);
    EXPECT_EQ(ReadBytes(path), "trusted by the terminals");
    EXPECT_EQ(RunKeygen("--force --out='" + path + "'"), 0);
    EXPECT_EQ(ReadBytes(path).size(), kKeyPairSize);
}

TEST(Keygen, BadArgumentsAndUnwritablePlaces) {
    TempDir dir;
    EXPECT_EQ(RunKeygen("--out", dir.Path()), 2);
    EXPECT_EQ(RunKeygen("--bits 4096", dir.Path()), 2);
    EXPECT_EQ(RunKeygen("--out ''", dir.Path()), 2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("keyPair.bin")));
    EXPECT_EQ(RunKeygen("--out '" + dir.File("no/such/folder/keyPair.bin") + "'"), 1);
    EXPECT_EQ(RunKeygen("--help"), 0);
}

}  // namespace
}  // namespace korvane
