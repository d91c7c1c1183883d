#include "images/local_files.h"

#include <sys/stat.h>

#include <filesystem>
#include <utility>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "images/logo_block.h"
#include "tests/fixtures/bitmap16.h"
#include "tests/fixtures/short_of_memory.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

// The loaders' groups, as the application object holds them.
struct LoadedData {
    LogoSettings logo;
    FileSystem fileSystem;
    AudioFile audio;
};

namespace fs = std::filesystem;
using testing::Bitmap16Shape;
using testing::MakeBitmap16;
using testing::TempDir;
using testing::TopDownPixels;

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
    WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

uint32_t Le32At(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t Le16At(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

class LogoTest : public ::testing::Test {
protected:
    int Load(const std::vector<uint8_t>& file) {
        app.logo.logoPath = dir.File("logo.bmp");
        WriteFile(app.logo.logoPath, file);
        return LoadLogo(app.logo);
    }
    void ExpectNoLogo() const {
        EXPECT_TRUE(app.logo.logoPixels.empty());
        EXPECT_EQ(app.logo.logoWidth, 0);
        EXPECT_EQ(app.logo.logoHeight, 0);
        EXPECT_EQ(app.logo.logoDataSize, 0);
    }

    TempDir dir;
    LoadedData app;
};

TEST_F(LogoTest, TwoByTwoBitmapGivesA36ByteBlockWithTheRowsReversed) {
    ASSERT_EQ(Load(MakeBitmap16({.width = 2, .height = 2})), 1);
    app.logo.logoLeft = 0x12345;  // only the low 16 bits travel
    app.logo.logoTop = 7;
    app.logo.lcdType = 3;
    app.logo.logoBacklight = 0x1FF;
    app.logo.b_extPower = 1;
    app.logo.extPowerGPIO = 0x10A;
    app.logo.extPowerGPIOPolarity = 1;
    app.logo.lcdIOLevel = 0x1801;
    app.logo.lcdClock = 0x1234;
    BuildLogoBlock(app.logo);

    const std::vector<uint8_t>& block = app.logo.logoBlock;
    ASSERT_EQ(block.size(), 36u);
    EXPECT_EQ(app.logo.logoBlockSize, 36);
    EXPECT_EQ(Le32At(block, 0), 0x5A5AA5A5u);
    EXPECT_EQ(Le16At(block, 4), 0x2345);
    EXPECT_EQ(Le16At(block, 6), 7);
    EXPECT_EQ(Le16At(block, 8), 2);
    EXPECT_EQ(Le16At(block, 10), 2);
    EXPECT_EQ(Le32At(block, 12), 8u);
    EXPECT_EQ(Le32At(block, 16), 3u);
    EXPECT_EQ(block[20], 0);
    EXPECT_EQ(block[21], 0xFF);
    EXPECT_EQ(block[22], 0x0A);
    EXPECT_EQ(block[23], 1);
    EXPECT_EQ(Le16At(block, 24), 0x1801);
    EXPECT_EQ(block[26], 0x34);
    EXPECT_EQ(block[27], 0);
    // The file stores the bottom row first; the block carries the top row first.
    const std::vector<uint8_t> pixels(block.begin() + 28, block.end());
    EXPECT_EQ(pixels, TopDownPixels(2, 2));
    EXPECT_EQ(Le16At(block, 28), testing::PixelValue(0, 0));
}

TEST_F(LogoTest, ExtPowerOffPutsFEWhateverThePinHolds) {
    ASSERT_EQ(Load(MakeBitmap16({})), 1);
    for (int pin : {0, 5, 0xFE, 0x1FF}) {
        app.logo.b_extPower = 0;
        app.logo.extPowerGPIO = pin;
        BuildLogoBlock(app.logo);
        EXPECT_EQ(app.logo.logoBlock[22], 0xFE) << pin;
    }
}

TEST_F(LogoTest, LogoThatDidNotLoadGivesTheHeaderAlone) {
    app.logo.logoPath = dir.File("missing.bmp");
    EXPECT_EQ(LoadLogo(app.logo), 0);
    BuildLogoBlock(app.logo);
    ASSERT_EQ(app.logo.logoBlock.size(), 28u);
    EXPECT_EQ(app.logo.logoBlockSize, 28);
    EXPECT_EQ(Le16At(app.logo.logoBlock, 8), 0);
    EXPECT_EQ(Le16At(app.logo.logoBlock, 10), 0);
    EXPECT_EQ(Le32At(app.logo.logoBlock, 12), 0u);
}

// Rows are padded to a multiple of 4 bytes in the file; odd widths show whether the
// loader steps over the padding.
TEST_F(LogoTest, RowsAreReadAtTheirPaddedStride) {
    const Bitmap16Shape cases[] = {
        {.width = 1, .height = 1},
        {.width = 1, .height = 3},
        {.width = 3, .height = 2},
        {.width = 5, .height = 4},
        {.width = 4, .height = 3},
        {.width = 3, .height = 3, .compression = 3},            // with colour masks
        {.width = 3, .height = 2, .pixelOffset = 200},          // a gap before the pixels
    };
    for (const Bitmap16Shape& shape : cases) {
        SCOPED_TRACE(::testing::Message() << shape.width << "x" << shape.height << " compression " << shape.compression);
        ASSERT_EQ(Load(MakeBitmap16(shape)), 1);
        EXPECT_EQ(app.logo.logoWidth, shape.width);
        EXPECT_EQ(app.logo.logoHeight, shape.height);
        EXPECT_EQ(app.logo.logoDataSize, shape.width * shape.height * 2);
        EXPECT_EQ(app.logo.logoPixels, TopDownPixels(shape.width, shape.height));
    }
}

TEST_F(LogoTest, LastRowNeedsNoPaddingAfterIt) {
    std::vector<uint8_t> file = MakeBitmap16({.width = 3, .height = 2});
    file.resize(file.size() - 2);  // the top row's two padding bytes
    ASSERT_EQ(Load(file), 1);
    EXPECT_EQ(app.logo.logoPixels, TopDownPixels(3, 2));
}

TEST_F(LogoTest, BitmapsThatAreNotUncompressed16BitInsideTheFileAreRefused) {
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
    };
    // A small file whose header field at `at` announces value.
    auto patched = [](size_t at, uint32_t value) {
        std::vector<uint8_t> file = MakeBitmap16({.width = 2, .height = 2});
        for (size_t i = 0; i < 4; ++i) {
            file[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
        return file;
    };
    constexpr size_t kPixelOffsetField = 10;
    constexpr size_t kWidthField = 18;
    constexpr size_t kHeightField = 22;
    auto truncated = [](std::vector<uint8_t> file, size_t cut) {
        file.resize(file.size() - cut);
        return file;
    };
    const Case cases[] = {
        {"24-bit", MakeBitmap16({.bitCount = 24})},
        {"8-bit", MakeBitmap16({.bitCount = 8})},
        {"32-bit", MakeBitmap16({.bitCount = 32})},
        {"run-length", MakeBitmap16({.compression = 1})},
        {"run-length 4", MakeBitmap16({.compression = 2})},
        {"jpeg", MakeBitmap16({.compression = 4})},
        {"height 0", MakeBitmap16({.width = 2, .height = 0})},
        {"top-down height", MakeBitmap16({.width = 2, .height = -2})},
        {"width 0", MakeBitmap16({.width = 0, .height = 2})},
        {"negative width", MakeBitmap16({.width = -2, .height = 2})},
        {"pixels cut short", truncated(MakeBitmap16({.width = 2, .height = 2}), 1)},
        {"odd width cut short", truncated(MakeBitmap16({.width = 3, .height = 2}), 3)},
        {"pixel offset past the end", patched(kPixelOffsetField, 0xFFFFFFF0)},
        {"pixel offset at the end", patched(kPixelOffsetField, 70)},
        {"more rows than the file holds", patched(kHeightField, 3)},
        {"wider than the file", patched(kWidthField, 5)},
        {"huge width", patched(kWidthField, 0x7FFFFFFF)},
        {"huge height", patched(kHeightField, 0x7FFFFFFF)},
        {"headers only", truncated(MakeBitmap16({}), 8)},
        {"shorter than the headers", std::vector<uint8_t>{'B', 'M', 0, 0}},
        {"empty", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Load(MakeBitmap16({.width = 2, .height = 2})), 1);  // a refusal also drops a logo held before
        EXPECT_EQ(Load(c.file), 0);
        ExpectNoLogo();
    }
}

TEST_F(LogoTest, MissingFileOrFolderIsRefused) {
    app.logo.logoPath = dir.File("none.bmp");
    EXPECT_EQ(LoadLogo(app.logo), 0);
    app.logo.logoPath = dir.Path();
    EXPECT_EQ(LoadLogo(app.logo), 0);
    ExpectNoLogo();
}

class FileSetTest : public ::testing::Test {
protected:
    std::string MakeFolder(const std::string& name) {
        const std::string folder = dir.File(name);
        fs::create_directories(folder);
        return folder;
    }
    void LoadSet(int set) {
        LoadFileSet(app.fileSystem.fileSets[static_cast<size_t>(set - 1)], set, [this](int failed) { errors.push_back(failed); });
    }
    static std::string NameOf(const _tagDownloadImageData& record) { return std::string(record.szName.data()); }

    TempDir dir;
    LoadedData app;
    std::vector<int> errors;
};

TEST_F(FileSetTest, ListFilesTakesPlainFilesDirectlyInsideSortedByName) {
    const std::string folder = MakeFolder("set");
    WriteText(folder + "/b.txt", "b");
    WriteText(folder + "/a.txt", "a");
    fs::create_directories(folder + "/sub");
    WriteText(folder + "/sub/inner.txt", "inner");
    std::vector<std::string> paths = {"kept"};
    ListFiles(folder, paths);
    EXPECT_EQ(paths, (std::vector<std::string>{"kept", folder + "/a.txt", folder + "/b.txt"}));

    ListFiles(folder + "/", paths);  // a trailing separator gives the same paths
    EXPECT_EQ(paths.size(), 5u);
    EXPECT_EQ(paths[3], folder + "/a.txt");

    std::vector<std::string> none;
    ListFiles(dir.File("missing"), none);
    EXPECT_TRUE(none.empty());
}

TEST_F(FileSetTest, ListFilesSkipsFifosSoThatNoReadCanHang) {
    const std::string folder = MakeFolder("set");
    ASSERT_EQ(mkfifo((folder + "/pipe").c_str(), 0600), 0);
    WriteText(folder + "/file", "x");
    std::vector<std::string> paths;
    ListFiles(folder, paths);
    EXPECT_EQ(paths, std::vector<std::string>{folder + "/file"});
    EXPECT_EQ(GetFileLength(folder + "/pipe"), 0u);
    uint8_t byte = 0;
    EXPECT_EQ(ReadFileBytes(folder + "/pipe", 1, &byte), 0);
}

TEST_F(FileSetTest, GetFileLengthAndReadFileBytes) {
    const std::string path = dir.File("data.bin");
    WriteText(path, "hello");
    EXPECT_EQ(GetFileLength(path), 5u);
    EXPECT_EQ(GetFileLength(dir.File("missing")), 0u);
    EXPECT_EQ(GetFileLength(dir.Path()), 0u);

    std::vector<uint8_t> buffer(8, 0);
    EXPECT_EQ(ReadFileBytes(path, 5, buffer.data()), 1);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 5), "hello");
    EXPECT_EQ(ReadFileBytes(path, 3, buffer.data()), 1);
    EXPECT_EQ(ReadFileBytes(path, 6, buffer.data()), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("missing"), 0, buffer.data()), 0);
}

TEST_F(FileSetTest, FolderWithAFileAndASubfolderGivesOneRecordNamedByTheFileAlone) {
    app.fileSystem.fileSets[0].filePath = MakeFolder("set1");
    WriteText(app.fileSystem.fileSets[0].filePath + "/config.dat", "abc");
    fs::create_directories(app.fileSystem.fileSets[0].filePath + "/nested");
    WriteText(app.fileSystem.fileSets[0].filePath + "/nested/skip.dat", "zzz");
    LoadSet(1);
    ASSERT_EQ(app.fileSystem.fileSets[0].fileList.size(), 1u);
    const _tagDownloadImageData& record = app.fileSystem.fileSets[0].fileList[0];
    EXPECT_EQ(NameOf(record), "config.dat");
    EXPECT_EQ(record.nSize, 3u);
    EXPECT_EQ(std::string(record.pData.begin(), record.pData.end()), "abc");
    // The rest of the name field is zero.
    EXPECT_TRUE(std::all_of(record.szName.begin() + 10, record.szName.end(), [](char c) { return c == 0; }));
    EXPECT_EQ(app.fileSystem.fileSets[0].fileNames, std::vector<std::string>{app.fileSystem.fileSets[0].filePath + "/config.dat"});
    EXPECT_EQ(app.fileSystem.fileSets[0].b_filesLoaded, 1);
    EXPECT_TRUE(errors.empty());
}

TEST_F(FileSetTest, EmptyFileIsARecordOfSizeZero) {
    app.fileSystem.fileSets[1].filePath = MakeFolder("set2");
    WriteText(app.fileSystem.fileSets[1].filePath + "/empty", "");
    LoadSet(2);
    ASSERT_EQ(app.fileSystem.fileSets[1].fileList.size(), 1u);
    EXPECT_EQ(app.fileSystem.fileSets[1].fileList[0].nSize, 0u);
    EXPECT_TRUE(app.fileSystem.fileSets[1].fileList[0].pData.empty());
    EXPECT_EQ(app.fileSystem.fileSets[1].b_filesLoaded, 1);
}

TEST_F(FileSetTest, NamesOfUpTo127BytesLoadAndLongerOnesAreRefused) {
    app.fileSystem.fileSets[2].filePath = MakeFolder("set3");
    std::string wide;  // 42 three-byte characters and one byte: 127 bytes
    for (int i = 0; i < 42; ++i) {
        wide += "文";
    }
    const std::string fits[] = {std::string(127, 'a'), wide + "x"};
    const std::string refused[] = {std::string(128, 'b'), wide + "文"};  // 128 and 129 bytes
    for (const std::string& name : fits) {
        WriteText(app.fileSystem.fileSets[2].filePath + "/" + name, "fits");
    }
    for (const std::string& name : refused) {
        WriteText(app.fileSystem.fileSets[2].filePath + "/" + name, "refused");
    }
    LoadSet(3);
    ASSERT_EQ(app.fileSystem.fileSets[2].fileList.size(), 2u);
    EXPECT_EQ(NameOf(app.fileSystem.fileSets[2].fileList[0]), fits[0]);
    EXPECT_EQ(NameOf(app.fileSystem.fileSets[2].fileList[1]), fits[1]);
    EXPECT_EQ(app.fileSystem.fileSets[2].fileList[0].szName[127], '\0');
    // A refused file came last, so the set counts as not loaded; set 3 reports as set 1.
    EXPECT_EQ(app.fileSystem.fileSets[2].b_filesLoaded, 0);
    EXPECT_EQ(errors, (std::vector<int>{3, 3}));
    EXPECT_STREQ(FileSetErrorMessage(3), "文件系统待下载文件(1)加载错误，请重新选择！");
}

TEST_F(FileSetTest, FlagFollowsTheLastFileOfTheSet) {
    struct Case {
        const char* name;
        bool firstLoads;
        bool lastLoads;
        int expectedFlag;
        size_t expectedRecords;
    };
    const Case cases[] = {
        {"first fails, last loads", false, true, 1, 1},
        {"first loads, last fails", true, false, 0, 1},
        {"both load", true, true, 1, 2},
        {"both fail", false, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = MakeFolder(c.name);
        // A name too long for the record makes a file fail; "a..." sorts before "z...".
        WriteText(folder + "/" + (c.firstLoads ? std::string("a1") : std::string(130, 'a')), "first");
        WriteText(folder + "/" + (c.lastLoads ? std::string("z1") : std::string(130, 'z')), "last");
        app.fileSystem.fileSets[1].filePath = folder;
        errors.clear();
        LoadSet(2);
        EXPECT_EQ(app.fileSystem.fileSets[1].b_filesLoaded, c.expectedFlag);
        EXPECT_EQ(app.fileSystem.fileSets[1].fileList.size(), c.expectedRecords);
        EXPECT_EQ(errors.size(), 2 - c.expectedRecords);
        for (int set : errors) {
            EXPECT_EQ(set, 2);
        }
    }
    EXPECT_STREQ(FileSetErrorMessage(2), "文件系统待下载文件(2)加载错误，请重新选择！");
    EXPECT_STREQ(FileSetErrorMessage(1), "文件系统待下载文件(1)加载错误，请重新选择！");
}

TEST_F(FileSetTest, LoadingAgainReplacesTheSetAndAnEmptyFolderLoadsNothing) {
    app.fileSystem.fileSets[0].filePath = MakeFolder("set");
    WriteText(app.fileSystem.fileSets[0].filePath + "/one", "1");
    LoadSet(1);
    LoadSet(1);
    EXPECT_EQ(app.fileSystem.fileSets[0].fileList.size(), 1u);
    EXPECT_EQ(app.fileSystem.fileSets[0].fileNames.size(), 1u);

    app.fileSystem.fileSets[0].filePath = MakeFolder("empty");
    LoadSet(1);
    EXPECT_TRUE(app.fileSystem.fileSets[0].fileList.empty());
    EXPECT_TRUE(app.fileSystem.fileSets[0].fileNames.empty());
    EXPECT_EQ(app.fileSystem.fileSets[0].b_filesLoaded, 0);
    EXPECT_TRUE(errors.empty());
}

TEST_F(FileSetTest, Utf8PathsAndNames) {
    app.fileSystem.fileSets[0].filePath = MakeFolder("文件夹");
    WriteText(app.fileSystem.fileSets[0].filePath + "/声音.amr", "amr!");
    LoadSet(1);
    ASSERT_EQ(app.fileSystem.fileSets[0].fileList.size(), 1u);
    EXPECT_EQ(NameOf(app.fileSystem.fileSets[0].fileList[0]), "声音.amr");

    app.audio.amrPath = app.fileSystem.fileSets[0].filePath + "/声音.amr";
    EXPECT_EQ(LoadAmr(app.audio), kAmrLoaded);
    EXPECT_EQ(app.audio.amrSize, 4);
}

// A file of 4 GiB and more must not be taken for a short one (its length does not fit the
// record's 32 bits); a sparse file costs no disk space.
TEST_F(FileSetTest, FilesTooLongForTheirSizeFieldAreRefused) {
    const std::string folder = MakeFolder("big");
    const std::string big = folder + "/big.bin";
    { std::ofstream create(big); }
    std::error_code error;
    fs::resize_file(big, (uint64_t{1} << 32) + 3, error);
    if (error) {
        GTEST_SKIP() << "no sparse files here: " << error.message();
    }
    EXPECT_EQ(GetFileLength(big), 0u);
    app.fileSystem.fileSets[0].filePath = folder;
    LoadSet(1);
    EXPECT_TRUE(app.fileSystem.fileSets[0].fileList.empty());
    EXPECT_EQ(errors, std::vector<int>{1});
    app.audio.amrPath = big;
    EXPECT_EQ(LoadAmr(app.audio), kAmrUnreadable);
    EXPECT_EQ(app.audio.b_amrLoaded, 0);
}

// A file that fits its size field but not in memory is reported like an unreadable one.
TEST_F(FileSetTest, FilesLargerThanMemoryAreReportedNotFatal) {
    if (!testing::kAddressSpaceLimitUsable) {
        GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
    }
    constexpr uint64_t kGiB = uint64_t{1} << 30;
    const std::string folder = MakeFolder("huge");
    { std::ofstream create(folder + "/huge.bin"); }
    std::error_code error;
    fs::resize_file(folder + "/huge.bin", kGiB, error);
    if (error) {
        GTEST_SKIP() << "no sparse files here: " << error.message();
    }
    // A bitmap header announcing 16384 x 32768 pixels (1 GiB), its rows inside the file.
    std::vector<uint8_t> logo = MakeBitmap16(Bitmap16Shape{});
    for (const auto& [at, value] : {std::pair{18, 16384}, std::pair{22, 32768}}) {
        for (int i = 0; i < 4; ++i) {
            logo[static_cast<size_t>(at + i)] = static_cast<uint8_t>(value >> (8 * i));
        }
    }
    app.logo.logoPath = dir.File("huge.bmp");
    WriteFile(app.logo.logoPath, logo);
    fs::resize_file(app.logo.logoPath, kGiB + 64, error);
    ASSERT_FALSE(error) << error.message();

    app.fileSystem.fileSets[0].filePath = folder;
    EXPECT_TRUE(testing::HoldsWithLittleMemory([this] {
        LoadSet(1);
        return app.fileSystem.fileSets[0].fileList.empty() && errors == std::vector<int>{1} && app.fileSystem.fileSets[0].b_filesLoaded == 0;
    }));
    EXPECT_TRUE(testing::HoldsWithLittleMemory([this] { return LoadLogo(app.logo) == 0 && app.logo.logoPixels.empty(); }));
}

TEST(AmrTest, LoadsTheFileUnchangedOrReportsIt) {
    TempDir dir;
    LoadedData app;
    app.audio.amrPath = dir.File("voice.amr");
    WriteFile(app.audio.amrPath, {'#', '!', 'A', 'M', 'R', '\n', 0, 0xFF});
    EXPECT_EQ(LoadAmr(app.audio), kAmrLoaded);
    EXPECT_EQ(app.audio.b_amrLoaded, 1);
    EXPECT_EQ(app.audio.amrSize, 8);
    EXPECT_EQ(app.audio.amrData, (std::vector<uint8_t>{'#', '!', 'A', 'M', 'R', '\n', 0, 0xFF}));

    app.audio.amrPath = dir.File("empty.amr");
    WriteFile(app.audio.amrPath, {});
    EXPECT_EQ(LoadAmr(app.audio), kAmrLoaded);
    EXPECT_EQ(app.audio.amrSize, 0);

    app.audio.amrPath = dir.File("missing.amr");
    EXPECT_EQ(LoadAmr(app.audio), kAmrUnreadable);
    EXPECT_EQ(app.audio.b_amrLoaded, 0);
    EXPECT_TRUE(app.audio.amrData.empty());
    EXPECT_EQ(app.audio.amrSize, 0);
}

}  // namespace
}  // namespace korvane
