// The terminal judging real signatures of the signing module, with its own ECDSA check and with
// the module's "verify", under a fresh key pair.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>

#include "modules/signing/keypair.h"
#include "modules/signing/signing_abi.h"
#include "platform/dynlib.h"
#include "sim/signature_check.h"
#include "sim/terminal_logic.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/sim/sim_test_link.h"

namespace korvane::sim {
namespace {

using testing::Bytes;

class ModuleSignatureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ModuleHandle module = LoadModule(KORVANE_RODEDAR_PATH);
        ASSERT_NE(module, nullptr) << LastModuleError();
        sign_ = reinterpret_cast<SignFn>(FindSymbol(module, "sign"));
        ASSERT_NE(sign_, nullptr);
        const auto generated = GenerateKeyPair();
        ASSERT_TRUE(generated);
        key_pair_ = *generated;
        key_file_ = dir_.File("keyPair.bin");
        WriteFile(key_file_, Bytes(key_pair_.begin(), key_pair_.end()));
    }

    static void WriteFile(const std::string& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    testing::Signature Sign(uint32_t cmd, const Bytes& payload) {
        const Bytes unsigned_packet = testing::PacketBytes(cmd, payload, testing::Signature{});
        const auto region = std::span(unsigned_packet).subspan(100, unsigned_packet.size() - 104);
        testing::Signature signature{};
        EXPECT_EQ(sign_(key_pair_.data(), region.data(), static_cast<uint32_t>(region.size()), 0, signature.data()), 0);
        return signature;
    }

    testing::TempDir dir_;
    SignFn sign_ = nullptr;
    KeyPairBlock key_pair_{};
    std::string key_file_;
};

TEST_F(ModuleSignatureTest, AcceptsTheModulesSignatureAndRefusesAChangedOne) {
    const struct {
        const char* name;
        std::function<std::unique_ptr<SignatureCheck>(const std::string& key_file, std::string& error)> load;
    } checks[] = {
        {"the terminal's own check", LoadKeySignatureCheck},
        {"the module's verify",
         [](const std::string& key_file, std::string& error) {
             return LoadModuleSignatureCheck(KORVANE_RODEDAR_PATH, key_file, error);
         }},
    };
    for (const auto& c : checks) {
        SCOPED_TRACE(c.name);
        std::string error;
        const auto check = c.load(key_file_, error);
        ASSERT_TRUE(check) << error;
        TerminalSettings settings;
        settings.start_mode = TerminalMode::kLoader;
        TerminalLogic logic(settings, check.get());

        const Bytes payload = testing::TextBytes("1");
        testing::Signature signature = Sign(2, payload);
        Reaction reaction;
        logic.Receive(testing::PacketFrame(2, payload, signature), reaction);
        EXPECT_EQ(testing::DecodeAnswer(reaction.answers.at(0).bytes)->status, 1U);
        EXPECT_EQ(logic.Record().packets.back().signature, SignatureResult::kValid);

        for (const size_t flipped : {size_t{0}, size_t{47}, size_t{48}, size_t{95}}) {  // r and s, both ends
            testing::Signature changed = signature;
            changed[flipped] ^= 0x01;
            reaction = {};
            logic.Receive(testing::PacketFrame(2, payload, changed), reaction);
            const auto refused = testing::DecodeAnswer(reaction.answers.at(0).bytes);
            EXPECT_EQ(refused->status, 0U) << "byte " << flipped;
            EXPECT_EQ(refused->text, "bad signature") << "byte " << flipped;
        }

        // A good signature of another payload does not sign this one, nor do all zeros.
        for (const testing::Signature& wrong : {Sign(2, payload), testing::Signature{}}) {
            reaction = {};
            logic.Receive(testing::PacketFrame(2, testing::TextBytes("0"), wrong), reaction);
            EXPECT_EQ(testing::DecodeAnswer(reaction.answers.at(0).bytes)->text, "bad signature");
        }
    }
}

TEST_F(ModuleSignatureTest, TheOwnCheckRefusesAKeyFileWithoutAUsablePublicPoint) {
    const struct {
        const char* name;
        size_t offset;  // the byte changed
        const char* message;
    } cases[] = {
        {"wrong magic", 0, "KVK1"},
        {"public point off the curve", 52 + 60, "public point"},
        {"public point not uncompressed", 52, "public point"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KeyPairBlock block = key_pair_;
        block[c.offset] ^= 0x01;
        const std::string file = dir_.File("changed.bin");
        WriteFile(file, Bytes(block.begin(), block.end()));
        std::string error;
        EXPECT_FALSE(LoadKeySignatureCheck(file, error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(LoadKeySignatureCheck(dir_.File("missing.bin"), error));
    EXPECT_NE(error.find("missing.bin"), std::string::npos);
}

TEST_F(ModuleSignatureTest, RefusesAnUnusableKeyFileOrModule) {
    std::string error;
    EXPECT_FALSE(LoadModuleSignatureCheck(KORVANE_RODEDAR_PATH, dir_.File("missing.bin"), error));
    EXPECT_NE(error.find("missing.bin"), std::string::npos);

    const std::string short_file = dir_.File("short.bin");
    WriteFile(short_file, Bytes(187, 0));
    error.clear();
    EXPECT_FALSE(LoadModuleSignatureCheck(KORVANE_RODEDAR_PATH, short_file, error));
    EXPECT_NE(error.find("187"), std::string::npos);

    error.clear();
    EXPECT_FALSE(LoadModuleSignatureCheck(dir_.File("nothing.so"), key_file_, error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace korvane::sim
