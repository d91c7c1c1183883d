// What one 1536-byte image chunk costs the session besides the round trip: building its
// frame (header, copy, CRC, stuffing) against the ECDSA signature it also needs.
#include <benchmark/benchmark.h>

#include <array>
#include <optional>
#include <random>
#include <vector>

#include "engine/signing_setup.h"
#include "engine/frame.h"
#include "engine/packet.h"
#include "platform/dynlib.h"

#ifdef KORVANE_RODEDAR_MODULE_PATH
#include "modules/signing/keypair.h"
#endif

namespace korvane {
namespace {

std::vector<uint8_t> RandomBytes(size_t n) {
    std::mt19937 random(42);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    return bytes;
}

// Leaves the signature as it is: the frame cost without any signing.
extern "C" int NoSign(const uint8_t*, const uint8_t*, uint32_t, uint32_t, uint8_t*) { return 0; }

const std::vector<uint8_t>& ChunkPayload() {
    static const std::vector<uint8_t> payload = BlockDataPayload(0x80001000, RandomBytes(kImageChunk));
    return payload;
}

void BM_Crc32ImagePacket(benchmark::State& state) {
    const std::vector<uint8_t> packet = RandomBytes(kHeaderSize + ChunkPayload().size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(crc32_packet(packet.data(), packet.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * packet.size()));
}
BENCHMARK(BM_Crc32ImagePacket);

void BM_EscapeImagePacket(benchmark::State& state) {
    const std::vector<uint8_t> packet = RandomBytes(kHeaderSize + ChunkPayload().size() + kCrcSize);
    std::vector<uint8_t> out(2 * packet.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(escape_frame(out.data(), packet.data(), packet.size()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * packet.size()));
}
BENCHMARK(BM_EscapeImagePacket);

void BM_BuildFrameImageChunkUnsigned(benchmark::State& state) {
    SigningSetup signing;
    signing.pfnSign = &NoSign;
    std::array<uint8_t, kMaxFrame> frame{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(build_command_frame(&signing, ChunkPayload(), frame.data(), kCmdImage));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BuildFrameImageChunkUnsigned);

#ifdef KORVANE_RODEDAR_MODULE_PATH
// The signing module's "sign" and a fresh key pair, or nothing when either is missing.
struct RealSigner {
    SignFn sign = nullptr;
    KeyPairBlock key_pair{};
};

std::optional<RealSigner> LoadRealSigner() {
    const ModuleHandle module = LoadModule(KORVANE_RODEDAR_MODULE_PATH);
    const std::optional<KeyPairBlock> key_pair = GenerateKeyPair();
    if (module == nullptr || !key_pair) {
        return std::nullopt;
    }
    RealSigner signer{reinterpret_cast<SignFn>(FindSymbol(module, "sign")), *key_pair};
    return signer.sign != nullptr ? std::optional(signer) : std::nullopt;
}

void BM_EcdsaSignImageChunk(benchmark::State& state) {
    const std::optional<RealSigner> signer = LoadRealSigner();
    if (!signer) {
        state.SkipWithError("signing module not loadable");
        return;
    }
    // The signed region of an image chunk packet: reserved, length, cmd, payload.
    const std::vector<uint8_t> region = RandomBytes(kHeaderSize - kSignedRegionOffset + ChunkPayload().size());
    std::array<uint8_t, kSignatureSize> signature{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(signer->sign(signer->key_pair.data(), region.data(),
                                              static_cast<uint32_t>(region.size()), 0, signature.data()));
    }
}
BENCHMARK(BM_EcdsaSignImageChunk)->Unit(benchmark::kMicrosecond);

void BM_BuildFrameImageChunkSigned(benchmark::State& state) {
    const std::optional<RealSigner> signer = LoadRealSigner();
    if (!signer) {
        state.SkipWithError("signing module not loadable");
        return;
    }
    SigningSetup signing;
    signing.pfnSign = signer->sign;
    signing.keyPairData = signer->key_pair;
    std::array<uint8_t, kMaxFrame> frame{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(build_command_frame(&signing, ChunkPayload(), frame.data(), kCmdImage));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BuildFrameImageChunkSigned)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
}  // namespace korvane

BENCHMARK_MAIN();
