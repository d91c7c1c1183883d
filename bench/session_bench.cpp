// An image transfer (send_image) through the real channel and signing modules into a
// simulated terminal that checks every signature:
//  - unpaced pseudo-terminal, 1 MiB image: bytes per second, and the tool's CPU time per
//    data chunk split into signing (the sign calls, timed by wrapping pfnSign) and
//    everything else;
//  - terminal paced at 115200 baud, 64 KiB image: the transfer's duration against the
//    wire time of the bytes that crossed the line both ways (target: at most 2% longer).
// Run with the default repetitions; the medians are the figures to read. The paced case
// also gives the tool's own time outside the channel (tool_busy_pct_of_wire) and the
// signing in it (sign_pct_of_wire). The tool signs each next packet while the current one
// crosses the line, so that time overlaps the wire instead of adding to the excess.
//  - the cost of the session log and report events: the unpaced 1 MiB transfer with no one
//    listening and with the log writer and report collector listening, one after the other
//    in each repetition (order alternating), as wall time and CPU besides signing.
//  - the cost of the station's records: the same transfer with and without a records writer
//    sending to the PostgreSQL server named by KORVANE_BENCH_RECORDS while other terminals'
//    rows arrive (one every 50 ms, as from a busy line), order alternating; skipped without
//    a server (bench/records_queries.sh and scripts/records-server make one).
#include <benchmark/benchmark.h>

#include <time.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>

#include <cstdlib>
#include <thread>

#include "app/run_plan.h"
#include "app/session_log.h"
#include "app/terminal_report.h"
#include "engine/packet.h"
#include "engine/session.h"
#include "engine/transfer.h"
#include "records/records_writer.h"
#include "tests/integration/sim_session.h"

namespace korvane::testing {
namespace {

constexpr uint32_t kLoadAddress = 0x80000000;
constexpr uint32_t kBaud = 115200;
constexpr double kBitsPerByte = 10.0;  // 8N1

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The signing module's sign, timed. The session signs on the calling thread, so thread
// CPU time around each call is its own.
SignFn g_real_sign = nullptr;
double g_sign_cpu_seconds = 0;

extern "C" int TimedSign(const uint8_t key_pair[188], const uint8_t* data, uint32_t length, uint32_t flags,
                         uint8_t signature[96]) {
    const double start = ThreadCpuSeconds();
    const int result = g_real_sign(key_pair, data, length, flags, signature);
    g_sign_cpu_seconds += ThreadCpuSeconds() - start;
    return result;
}

// A channel that forwards to the real one, counts the bytes each way and the wall time
// spent inside Read and Write (waiting for the line and the terminal).
struct CountingChannel : IChannel {
    using Clock = std::chrono::steady_clock;
    IChannel* inner = nullptr;
    uint64_t written = 0;
    uint64_t read = 0;
    Clock::duration in_channel{};

    static CountingChannel& Of(IChannel* self) { return *static_cast<CountingChannel*>(self); }
    static IChannel* In(IChannel* self) { return Of(self).inner; }
    static uint32_t GetVersion(IChannel* self) { return In(self)->vtbl->GetVersion(In(self)); }
    static int32_t GetLastError(IChannel* self) { return In(self)->vtbl->GetLastError(In(self)); }
    static int32_t IsOpen(IChannel* self) { return In(self)->vtbl->IsOpen(In(self)); }
    static int32_t SetWriteTimeout(IChannel* self, uint32_t ms) {
        return In(self)->vtbl->SetWriteTimeout(In(self), ms);
    }
    static int32_t Open(IChannel* self, const ChannelConfig* config) { return In(self)->vtbl->Open(In(self), config); }
    static void Close(IChannel* self) { In(self)->vtbl->Close(In(self)); }
    static int32_t Purge(IChannel* self) { return In(self)->vtbl->Purge(In(self)); }
    static int32_t Read(IChannel* self, void* buffer, uint32_t capacity, uint32_t wait_ms, uint32_t reserved) {
        const auto start = Clock::now();
        const int32_t got = In(self)->vtbl->Read(In(self), buffer, capacity, wait_ms, reserved);
        Of(self).in_channel += Clock::now() - start;
        Of(self).read += got > 0 ? static_cast<uint64_t>(got) : 0;
        return got;
    }
    static int32_t Write(IChannel* self, const void* data, uint32_t length, uint32_t reserved) {
        const auto start = Clock::now();
        const int32_t put = In(self)->vtbl->Write(In(self), data, length, reserved);
        Of(self).in_channel += Clock::now() - start;
        Of(self).written += put > 0 ? static_cast<uint64_t>(put) : 0;
        return put;
    }
    static constexpr IChannelVtbl kTable = {&GetVersion, &GetLastError, &IsOpen, &SetWriteTimeout, &Open,
                                            &Close,      &Purge,        &Read,   &Write,  nullptr, nullptr};

    explicit CountingChannel(IChannel* wrapped) : IChannel{&kTable}, inner(wrapped) {}
};

struct TransferResult {
    bool ok = false;
    double seconds = 0;
    double cpu_seconds = 0;
    double sign_cpu_seconds = 0;
    uint64_t line_bytes = 0;
    double tool_busy_seconds = 0;  // the transfer's wall time outside the channel's calls
};

// One terminal in its loader, command 48, then the timed send_image; events (may be null)
// hear the session as the program's log writer and report collector do.
TransferResult TransferImage(benchmark::State& state, size_t image_length, uint32_t baud,
                             ISessionEvents* events = nullptr) {
    TransferResult result;
    SimBench bench;
    sim::TerminalSettings settings;
    settings.start_mode = sim::TerminalMode::kLoader;
    SimSession session(bench, 1, settings, baud);
    if (!session.OpenChannel()) {
        state.SkipWithError(session.error.c_str());
        return result;
    }
    g_real_sign = session.app.signing.pfnSign;
    session.app.signing.pfnSign = &TimedSign;
    CountingChannel channel(session.para.pChannel);
    session.plan = MakeDownloadPlan(session.app);
    Session s;
    s.plan = &session.plan;
    s.running = &session.app.b_running;
    s.channel = &channel;
    s.view = &session.view;
    s.events = events;
    s.nPort = static_cast<uint32_t>(session.port);
    std::array<char, 256> message{};
    if (SendCommand(s, kCmdOpenDownload, CharPayload('0'), {}, message) != 0) {
        state.SkipWithError(message.data());
        return result;
    }
    const std::vector<uint8_t> image = MakeTestImage(image_length, kLoadAddress, 9);
    channel.written = channel.read = 0;
    channel.in_channel = {};
    g_sign_cpu_seconds = 0;

    const double cpu_start = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const int rc = send_image(s, image, message);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.cpu_seconds = ThreadCpuSeconds() - cpu_start;
    result.sign_cpu_seconds = g_sign_cpu_seconds;
    result.line_bytes = channel.written + channel.read;
    result.tool_busy_seconds = result.seconds - std::chrono::duration<double>(channel.in_channel).count();
    if (rc != 0) {
        state.SkipWithError(message.data());
        return result;
    }
    const sim::TerminalRecord record = session.Record();
    const auto stored = record.images.find(kLoadAddress);
    if (stored == record.images.end() || stored->second != image) {
        state.SkipWithError("the terminal did not store the image as sent");
        return result;
    }
    for (const sim::ReceivedPacket& packet : record.packets) {
        if (packet.signature != sim::SignatureResult::kValid) {
            state.SkipWithError("a packet's signature was not valid");
            return result;
        }
    }
    result.ok = true;
    return result;
}

void BM_ImageUnpaced(benchmark::State& state) {
    const size_t length = 1024 * 1024;
    const double chunks = static_cast<double>((length + kImageChunk - 1) / kImageChunk);
    for (auto _ : state) {
        const TransferResult r = TransferImage(state, length, 0);
        if (!r.ok) {
            return;
        }
        state.SetIterationTime(r.seconds);
        state.counters["sign_cpu_us_per_chunk"] = r.sign_cpu_seconds / chunks * 1e6;
        state.counters["other_cpu_us_per_chunk"] = (r.cpu_seconds - r.sign_cpu_seconds) / chunks * 1e6;
        state.counters["wall_us_per_chunk"] = r.seconds / chunks * 1e6;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
}
BENCHMARK(BM_ImageUnpaced)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

void BM_ImagePacedAgainstWireTime(benchmark::State& state) {
    const size_t length = 64 * 1024;
    for (auto _ : state) {
        const TransferResult r = TransferImage(state, length, kBaud);
        if (!r.ok) {
            return;
        }
        state.SetIterationTime(r.seconds);
        const double wire_seconds = static_cast<double>(r.line_bytes) * kBitsPerByte / kBaud;
        state.counters["wire_s"] = wire_seconds;
        state.counters["transfer_s"] = r.seconds;
        state.counters["longer_than_wire_pct"] = (r.seconds / wire_seconds - 1.0) * 100.0;
        // The tool's own work (framing, signing), most of it done while the line is busy.
        state.counters["tool_busy_pct_of_wire"] = r.tool_busy_seconds / wire_seconds * 100.0;
        state.counters["sign_pct_of_wire"] = r.sign_cpu_seconds / wire_seconds * 100.0;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
}
// The same unpaced transfer with and without the session log and report listening.
void BM_SessionLogCost(benchmark::State& state) {
    const size_t length = 1024 * 1024;
    const double chunks = static_cast<double>((length + kImageChunk - 1) / kImageChunk);
    bool logsFirst = false;
    for (auto _ : state) {
        TempDir dir;
        RecordingPortView rows;
        ReportingPortView report(rows);
        SessionLogWriter logs(dir.File("logs"), {});
        SessionEventsFan events;
        events.Add(report);
        events.Add(logs);
        TransferResult off;
        TransferResult on;
        double writeSeconds = 0;
        for (const bool withLogs : {logsFirst, !logsFirst}) {
            if (!withLogs) {
                off = TransferImage(state, length, 0);
                continue;
            }
            events.SessionBegan(1, "1");
            on = TransferImage(state, length, 0, &events);
            const auto start = std::chrono::steady_clock::now();
            events.SessionEnded(1);
            writeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        logsFirst = !logsFirst;
        if (!off.ok || !on.ok || logs.PathOf(1).empty()) {
            state.SkipWithError("a transfer failed or no log was written");
            return;
        }
        state.SetIterationTime(on.seconds);
        state.counters["off_s"] = off.seconds;
        state.counters["on_s"] = on.seconds;
        state.counters["on_vs_off_pct"] = (on.seconds / off.seconds - 1.0) * 100.0;
        state.counters["other_cpu_us_per_chunk_off"] = (off.cpu_seconds - off.sign_cpu_seconds) / chunks * 1e6;
        state.counters["other_cpu_us_per_chunk_on"] = (on.cpu_seconds - on.sign_cpu_seconds) / chunks * 1e6;
        state.counters["cpu_on_vs_off_pct"] = (on.cpu_seconds / off.cpu_seconds - 1.0) * 100.0;
        state.counters["log_write_ms"] = writeSeconds * 1e3;
    }
}
// The same unpaced transfer with and without the station's records writer at work.
void BM_RecordsCost(benchmark::State& state) {
    const char* url = std::getenv("KORVANE_BENCH_RECORDS");
    if (url == nullptr || *url == '\0') {
        state.SkipWithError("no records server: set KORVANE_BENCH_RECORDS to a connection string");
        return;
    }
    const size_t length = 1024 * 1024;
    bool recordsFirst = false;
    int rowNumber = 0;
    for (auto _ : state) {
        TempDir dir;
        TransferResult off;
        TransferResult on;
        for (const bool withRecords : {recordsFirst, !recordsFirst}) {
            if (!withRecords) {
                off = TransferImage(state, length, 0);
                continue;
            }
            RecordsWriter writer(MakeRecordsDatabase(url), RecordSpool(dir.File("records-spool")), {});
            writer.Start();
            std::atomic<bool> done{false};
            const auto submitRow = [&writer, &rowNumber] {
                StationRow row;
                row.station = "bench";
                row.sessionId = "bench-" + std::to_string(std::chrono::system_clock::now().time_since_epoch().count()) +
                                "-" + std::to_string(++rowNumber);
                row.passed = true;
                row.message = "PASS";
                row.finishedAt = "2026-12-10T16:52:46+00:00";
                writer.Submit(row);
            };
            std::thread others([&] {
                while (!done) {
                    submitRow();
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
            });
            on = TransferImage(state, length, 0);
            done = true;
            others.join();
            submitRow();  // this terminal's own row
            writer.Stop(std::chrono::seconds(5));
        }
        recordsFirst = !recordsFirst;
        if (!off.ok || !on.ok) {
            state.SkipWithError("a transfer failed");
            return;
        }
        state.SetIterationTime(on.seconds);
        state.counters["off_s"] = off.seconds;
        state.counters["on_s"] = on.seconds;
        state.counters["on_vs_off_pct"] = (on.seconds / off.seconds - 1.0) * 100.0;
        state.counters["cpu_on_vs_off_pct"] = (on.cpu_seconds / off.cpu_seconds - 1.0) * 100.0;
    }
}
BENCHMARK(BM_RecordsCost)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_SessionLogCost)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_ImagePacedAgainstWireTime)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvane::testing

BENCHMARK_MAIN();
