#include "sim/record_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/fixtures/temp_dir.h"

namespace korvane::sim {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SafeRelativePath, KeepsTargetsInsideTheTerminalFolder) {
    const struct {
        const char* target;
        const char* path;
    } cases[] = {
        {"C:/app/main.bin", "C_/app/main.bin"},
        {"/etc/passwd", "etc/passwd"},
        {"C:/../../escape", "C_/escape"},
        {"..", "_"},
        {"", "_"},
        {"a//b/./c", "a/b/c"},
        {"D:\\dir\\f.txt", "D_/dir/f.txt"},
        {"x\ny", "x_y"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SafeRelativePath(c.target), c.path) << c.target;
    }
}

TEST(JsonString, EscapesQuotesBackslashesAndUnprintableBytes) {
    EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString("\r\n"), "\"\\u000d\\u000a\"");
    EXPECT_EQ(JsonString("\xE4"), "\"\\u00e4\"");
}

TerminalRecord SampleRecord() {
    TerminalRecord record;
    record.texts = {{"READ TUSN", 0}, {"GOTO FASTBOOT", 0}, {"CHECK SP", 2}};
    ReceivedPacket first;
    first.number = 1;
    first.cmd = 48;
    first.payload_size = 1;
    first.accepted = true;
    first.answered = true;
    first.signature = SignatureResult::kValid;
    first.wire_in = 140;
    first.wire_out = 14;
    ReceivedPacket second = first;
    second.number = 2;
    second.cmd.reset();
    second.accepted = false;
    second.answer = "bad crc";
    record.packets = {first, second};
    record.images[0x80008000] = {1, 2, 3};
    record.logo = std::vector<uint8_t>{4, 5};
    record.files["C:/../x.txt"] = {'h', 'i'};
    record.auto_run = '1';
    record.check_sp = true;
    return record;
}

TEST(RecordJsonLines, InterleavesTextsAndPacketsThenSummarises) {
    const std::string lines = RecordJsonLines(SampleRecord());
    const std::string expected_start =
        "{\"text\":\"READ TUSN\"}\n"
        "{\"text\":\"GOTO FASTBOOT\"}\n"
        "{\"packet\":1,\"cmd\":48,\"payload\":1,\"signature\":\"valid\",\"answered\":true,\"accepted\":true,"
        "\"answer\":\"\",\"wire_in\":140,\"wire_out\":14}\n"
        "{\"packet\":2,\"cmd\":null,\"payload\":1,\"signature\":\"valid\",\"answered\":true,\"accepted\":false,"
        "\"answer\":\"bad crc\",\"wire_in\":140,\"wire_out\":14}\n"
        "{\"text\":\"CHECK SP\"}\n"
        "{\"summary\":{\"images\":[{\"address\":\"0x80008000\",\"size\":3,\"file\":\"image_0x80008000.bin\"}],"
        "\"logo\":2,\"audio\":null,\"files\":[{\"path\":\"C:/../x.txt\",\"size\":2,\"file\":\"files/C_/x.txt\"}]";
    EXPECT_EQ(lines.substr(0, expected_start.size()), expected_start);
    EXPECT_NE(lines.find("\"auto_run\":\"1\""), std::string::npos);
    EXPECT_NE(lines.find("\"check_sp\":true"), std::string::npos);
}

TEST(RecordWriter, WritesTheRecordAndTheStoredItemsIntoThePortFolder) {
    testing::TempDir dir;
    RecordWriter writer(dir.Path());
    std::string error;
    ASSERT_TRUE(writer.Prepare(error)) << error;
    writer.WriteEvent(3, {"plugged", "x"}, std::chrono::milliseconds(12));
    ASSERT_TRUE(writer.WriteRecord(3, SampleRecord(), error)) << error;

    const fs::path port = fs::path(dir.Path()) / "COM3";
    EXPECT_EQ(ReadAll(port / "image_0x80008000.bin"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(ReadAll(port / "logo.bin"), (std::vector<uint8_t>{4, 5}));
    EXPECT_EQ(ReadAll(port / "files/C_/x.txt"), (std::vector<uint8_t>{'h', 'i'}));
    EXPECT_FALSE(fs::exists(port / "audio.amr"));
    EXPECT_FALSE(fs::exists(fs::path(dir.Path()) / "x.txt"));
    const auto events = ReadAll(fs::path(dir.Path()) / "events.jsonl");
    EXPECT_EQ(std::string(events.begin(), events.end()),
              "{\"ms\":12,\"port\":3,\"event\":\"plugged\",\"detail\":\"x\"}\n");
}

}  // namespace
}  // namespace korvane::sim
