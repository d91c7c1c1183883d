// Writes the starting inputs of every fuzz target, made with the tests' fixture generators,
// into DIR/<target>/seed-<n>. Usage: fuzz_seeds DIR
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "crypto/digest.h"
#include "crypto/envelope.h"
#include "engine/frame.h"
#include "fuzz/fuzz_input.h"
#include "tests/fixtures/bitmap16.h"
#include "tests/fixtures/link_frames.h"
#include "tests/fixtures/rsa_test_keys.h"
#include "tests/fixtures/scripted_channel.h"

using namespace korvane;
using fuzz::InputWriter;
using Seeds = std::vector<std::vector<uint8_t>>;

namespace {

// Reader, then each chunk arriving at once.
std::vector<uint8_t> ReaderInput(uint8_t reader, const std::vector<testing::Bytes>& chunks) {
    InputWriter input;
    input.Byte(reader);
    for (const testing::Bytes& chunk : chunks) {
        input.Byte(0).Piece(chunk);
    }
    return input.bytes();
}

Seeds ResponseReaderSeeds() {
    const testing::Bytes ok = testing::OkFrame("handle:42");
    const testing::Bytes split_at = testing::Bytes(ok.begin(), ok.begin() + 5);
    const testing::Bytes split_rest = testing::Bytes(ok.begin() + 5, ok.end());
    return {
        ReaderInput(0, {ok}),
        ReaderInput(0, {testing::OkFrame()}),
        ReaderInput(0, {testing::RemoteErrorFrame("no space left")}),
        ReaderInput(0, {testing::ToBytes("noise"), split_at, split_rest}),
        ReaderInput(1, {testing::ToBytes("000050QV41C0012340000000000\r\n")}),
        ReaderInput(2, {testing::ToBytes("OKAY")}),
    };
}

Seeds IdentitySeeds() {
    return {
        InputWriter().Piece("QV").Piece("123").Raw("00000000QV1230000000").bytes(),
        InputWriter().Piece("QV").Piece("123").Raw("00000000000000QV123000000000").bytes(),
        InputWriter().Piece("QV").Piece("123").Raw("00000000000000QV999000000000").bytes(),
    };
}

Seeds ProfileSeeds() {
    const std::string text = "; stations\r\n[AppLoad Info]\r\nuseSingedData = 1\r\nkey=value\r\n\r\n[Ports]\r\n1-1.2:1.0=COM3\r\n";
    std::string utf16 = "\xFF\xFE";
    for (const char c : text) {
        utf16 += c;
        utf16 += '\0';
    }
    return {
        InputWriter().Piece("AppLoad Info").Piece("key").Piece("new").Raw(text).bytes(),
        InputWriter().Piece("Ports").Piece("1-1.3:1.0").Piece("COM4").Raw("\xEF\xBB\xBF" + text).bytes(),
        InputWriter().Piece("Ports").Piece("1-1.2:1.0").Piece("").Raw(utf16).bytes(),
    };
}

Seeds LogoSeeds() {
    return {
        testing::MakeBitmap16({}),
        testing::MakeBitmap16({.width = 3, .height = 5}),
        testing::MakeBitmap16({.width = 4, .height = 1, .compression = 3}),
    };
}

Seeds LocalFilesSeeds() {
    return {
        InputWriter().Piece("app.cfg").Raw("#!AMR\n\x01\x02").bytes(),
        InputWriter().Piece(std::string(127, 'n')).Raw("x").bytes(),
        InputWriter().Piece(std::string(128, 'n')).bytes(),
    };
}

Seeds EnvelopeSeeds() {
    const testing::TestImage image = testing::MakeTestImage(testing::TestRsaKeys(), 300, 7);
    std::vector<uint8_t> message = testing::TestImageHeader(7);
    message.resize(kImageHeader + kHeaderDigest);
    Sha256(message.data(), kImageHeader, message.data() + kImageHeader);
    return {
        InputWriter().Byte(0).Raw(image.envelope).bytes(),
        InputWriter().Byte(1).Piece(message).Raw(testing::TestPayload(100, 3)).bytes(),
        InputWriter().Byte(2).Piece(std::vector<uint8_t>(256, 0x02)).bytes(),
    };
}

Seeds ImageListSeeds() {
    return {
        InputWriter().Piece("http://127.0.0.1:8080/MainApp.bin,http://127.0.0.1:8080/SecondApp.bin\r\n").bytes(),
        InputWriter().Piece(" https://a/1.bin ,").Piece(std::string("\0,https://b", 11)).bytes(),
    };
}

Seeds PortTableSeeds() {
    return {
        InputWriter().Piece("1-1.2:1.0").Raw("[Ports]\n1-1.2:1.0=COM3\nttyS0=com1\n").bytes(),
        InputWriter().Piece("ttyUSB0").Raw("[Ports]\r\n1-1.4:1.0 = COM2\r\n").bytes(),
    };
}

Seeds SimFramesSeeds() {
    const std::vector<uint8_t> payload(40, 0x7E);
    const std::vector<uint8_t> packet = PreparePacket(5, payload);
    return {
        InputWriter().Piece(testing::Framed(packet)).bytes(),
        InputWriter().Piece(testing::ToBytes("OKAY\r\n")).Piece(testing::Framed(packet)).bytes(),
        InputWriter().Piece(testing::ToBytes("\x7E\x7E\x7D\x5E\x7D")).Piece(testing::ToBytes("\x5D\x7E")).bytes(),
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    const std::map<std::string, Seeds> targets = {
        {"response_reader", ResponseReaderSeeds()}, {"identity", IdentitySeeds()},
        {"profile", ProfileSeeds()},                 {"logo", LogoSeeds()},
        {"local_files", LocalFilesSeeds()},          {"envelope", EnvelopeSeeds()},
        {"image_list", ImageListSeeds()},            {"port_table", PortTableSeeds()},
        {"sim_frames", SimFramesSeeds()},
    };
    for (const auto& [target, seeds] : targets) {
        const std::filesystem::path folder = std::filesystem::path(argv[1]) / target;
        std::filesystem::create_directories(folder);
        for (size_t i = 0; i < seeds.size(); ++i) {
            std::ofstream((folder / ("seed-" + std::to_string(i))).string(), std::ios::binary)
                .write(reinterpret_cast<const char*>(seeds[i].data()), static_cast<std::streamsize>(seeds[i].size()));
        }
    }
    return 0;
}
