// How long a paced simulated terminal takes to take in a block: a 64 KiB logo sent as the
// tool sends it (start, 1536-byte data packets, end, each answered before the next) over a
// terminal paced at 115200 baud, 8N1. The counters give the time the bytes of both
// directions need on such a line (wire_s), the time the block's own bytes need
// (payload_wire_s, 64 KiB * 10 / 115200 = 5.69 s) and measured / wire (ratio).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <system_error>

#include "sim/block_receiver.h"
#include "sim/host_port.h"
#include "sim/packet_check.h"
#include "sim/sim_terminal.h"
#include "sim/wire.h"
#include "sim/wire_time.h"

namespace korvane::sim {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kBaud = 115200;
constexpr uint32_t kLogoCommand = 11;

Bytes U32Pair(uint32_t first, uint32_t second) {
    Bytes bytes(8);
    WriteLe32(bytes.data(), first);
    WriteLe32(bytes.data() + 4, second);
    return bytes;
}

// An unsigned packet in a frame; the terminal runs without signature checks here.
Bytes Frame(uint32_t cmd, const Bytes& payload) {
    Bytes packet(kLinkHeaderSize + payload.size() + kLinkCrcSize, 0);
    WriteLe32(packet.data(), kLinkMagic);
    WriteLe32(packet.data() + kLinkLengthOffset, static_cast<uint32_t>(kLinkHeaderSize + payload.size()));
    WriteLe32(packet.data() + kLinkCmdOffset, cmd);
    std::copy(payload.begin(), payload.end(), packet.begin() + kLinkHeaderSize);
    const size_t length = kLinkHeaderSize + payload.size();
    WriteLe32(packet.data() + length, LinkCrc32(std::span(packet).first(length)));
    return FrameOf(packet);
}

std::vector<Bytes> BlockFrames(size_t size) {
    Bytes block(size);
    for (size_t i = 0; i < size; ++i) {
        block[i] = static_cast<uint8_t>(i * 31 + 7);
    }
    std::vector<Bytes> frames = {Frame(kLogoCommand, U32Pair(kBlockStartMagic, static_cast<uint32_t>(size)))};
    for (size_t offset = 0; offset < size; offset += kMaxBlockChunk) {
        const size_t chunk = std::min<size_t>(kMaxBlockChunk, size - offset);
        Bytes payload = U32Pair(0, static_cast<uint32_t>(chunk));
        payload.insert(payload.end(), block.begin() + static_cast<long>(offset),
                       block.begin() + static_cast<long>(offset + chunk));
        frames.push_back(Frame(kLogoCommand, payload));
    }
    frames.push_back(Frame(kLogoCommand, U32Pair(kBlockEndMagic, 0)));
    return frames;
}

void BM_PacedBlockTransfer(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0));
    std::string folder = (std::filesystem::temp_directory_path() / "korvane-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    SimTerminalConfig config;
    config.ports_dir = folder;
    config.baud = kBaud;
    config.settings.start_mode = TerminalMode::kLoader;
    SimTerminal terminal(std::move(config));
    HostPort host;
    std::string error;
    if (!terminal.Plug(error) || !host.Open(terminal.LinkPath(), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::vector<Bytes> frames = BlockFrames(size);
    uint64_t wire_bytes = 0;
    std::chrono::duration<double> taken{};
    for (auto _ : state) {
        wire_bytes = 0;
        const auto started = std::chrono::steady_clock::now();
        for (const Bytes& frame : frames) {
            const Bytes answer = host.Write(frame) ? host.ReadFrame(std::chrono::seconds(10)) : Bytes{};
            if (answer.empty()) {
                state.SkipWithError("no answer");
                break;
            }
            wire_bytes += frame.size() + answer.size();
        }
        taken = std::chrono::steady_clock::now() - started;
    }
    const double wire_s = std::chrono::duration<double>(WireTime(wire_bytes, kBaud)).count();
    state.counters["wire_s"] = wire_s;
    state.counters["payload_wire_s"] = std::chrono::duration<double>(WireTime(size, kBaud)).count();
    state.counters["ratio"] = wire_s > 0 ? taken.count() / wire_s : 0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    host.Close();
    terminal.Unplug();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
BENCHMARK(BM_PacedBlockTransfer)->Arg(64 << 10)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace korvane::sim

BENCHMARK_MAIN();
