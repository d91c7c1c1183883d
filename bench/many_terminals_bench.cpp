// Many terminals at once: run control, the watcher and the real channel and signing modules
// in this process (the tool), korvane-sim in another with N terminals on unpaced
// pseudo-terminals, each receiving a 1 MiB main image. For N = 1 and N = 16, with the
// sessions sharing their signatures and with every session signing for itself, it prints
// the median over the repetitions of: the run's wall time (first arrival to last session
// end), the total image bytes per second, and the tool's CPU seconds per MiB delivered
// (from Start on, so signing ahead counts). The four runs of a repetition go one after
// another, so that on and off see the same machine.
// A small program. Usage: many_terminals_bench [repetitions] [many]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "bench/process_figures.h"
#include "app/port_rows.h"
#include "app/run_control.h"
#include "engine/signature_cache.h"
#include "engine/thread_para.h"
#include "tests/fixtures/recording_message_sink.h"
#include "tests/integration/sim_session.h"

extern char** environ;

namespace korvane::testing {
namespace {

using SteadyClock = std::chrono::steady_clock;
using bench::Median;
using bench::ProcessCpuSeconds;
constexpr size_t kImageBytes = 1 << 20;
constexpr uint32_t kLoadAddress = 0x80000000;
constexpr auto kRunLimit = std::chrono::minutes(5);

struct RunFigures {
    bool ok = false;
    double seconds = 0;
    double bytesPerSecond = 0;
    double cpuPerMiB = 0;
    double simulatorCpuPerMiB = 0;  // the simulator process, start to end
};

pid_t StartSimulator(const SimBench& bench, int terminals) {
    std::vector<std::string> args = {KORVANE_SIM_PROGRAM, "--ports", bench.ports_dir, "--count",
                                     std::to_string(terminals), "--mode", "loader", "--key",
                                     bench.dir.File("keyPair.bin"), "--idle-finish", "600000", "--keep-running"};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

RunFigures RunOnce(int terminals, bool shared) {
    RunFigures figures;
    SimBench bench;
    if (!bench.Ok()) {
        std::fprintf(stderr, "bench: %s\n", bench.error.c_str());
        return figures;
    }
    CKorvaneAppDownloadApp app;
    const RealModules& modules = LoadRealModules();
    app.pfnCreateChannel = modules.create_channel;
    app.pfnReleaseChannel = modules.release_channel;
    app.signing.pfnSign = modules.sign;
    app.signing.keyPairData = ProcessKeyPair();
    app.images.b_downloadApp = 1;
    app.images.b_appLoaded = 1;
    app.images.imageCount = 1;
    app.images.mainImage = MakeTestImage(kImageBytes, kLoadAddress, 7);
    app.images.mainImageSize = static_cast<int>(kImageBytes);
    if (shared) {
        app.signing.signatureCache = std::make_shared<SignatureCache>();
    }

    PortRows rows(app);
    RecordingMessageSink sink;
    std::mutex mutex;
    std::vector<std::pair<uint32_t, int>> changes;
    RunControlParts parts;
    parts.watcher = std::make_unique<CDevHound>(
        MakePortEnumerator(PortSources{"/nonexistent", "/nonexistent", bench.dir.Path(), bench.ports_dir}));
    RunControl run(app, rows, sink, [&](uint32_t nPort, int lParam) {
        std::lock_guard lock(mutex);
        changes.emplace_back(nPort, lParam);
        return true;
    }, std::move(parts));
    const double cpuBefore = ProcessCpuSeconds();
    if (!run.OnStart()) {
        return figures;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // past the watcher's first pass

    const pid_t simulator = StartSimulator(bench, terminals);
    if (simulator <= 0) {
        std::fprintf(stderr, "bench: cannot start %s\n", KORVANE_SIM_PROGRAM);
        return figures;
    }
    std::optional<SteadyClock::time_point> firstArrival;
    size_t ended = 0;
    const auto deadline = SteadyClock::now() + kRunLimit;
    while (ended < static_cast<size_t>(terminals) && SteadyClock::now() < deadline) {
        std::vector<std::pair<uint32_t, int>> pending;
        {
            std::lock_guard lock(mutex);
            pending.swap(changes);
        }
        for (const auto& [nPort, lParam] : pending) {
            if (!firstArrival && lParam == 1) {
                firstArrival = SteadyClock::now();
            }
            run.OnPortChange(nPort, lParam);
        }
        ended += run.TakeEndedSessions().size();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto finished = SteadyClock::now();
    const double cpu = ProcessCpuSeconds() - cpuBefore;

    size_t passed = 0;
    for (const PortRow& row : rows.Snapshot()) {
        passed += row.cells[kColProgress] == "Passed" ? 1 : 0;
    }
    run.OnStop();
    kill(simulator, SIGTERM);
    rusage simulatorUsage{};
    wait4(simulator, nullptr, 0, &simulatorUsage);

    figures.ok = firstArrival.has_value() && passed == static_cast<size_t>(terminals);
    if (!figures.ok) {
        std::fprintf(stderr, "bench: %zu of %d terminals passed\n", passed, terminals);
        return figures;
    }
    const double mib = static_cast<double>(terminals) * kImageBytes / (1 << 20);
    figures.seconds = std::chrono::duration<double>(finished - *firstArrival).count();
    figures.bytesPerSecond = static_cast<double>(terminals) * kImageBytes / figures.seconds;
    figures.cpuPerMiB = cpu / mib;
    figures.simulatorCpuPerMiB =
        (static_cast<double>(simulatorUsage.ru_utime.tv_sec + simulatorUsage.ru_stime.tv_sec) +
         static_cast<double>(simulatorUsage.ru_utime.tv_usec + simulatorUsage.ru_stime.tv_usec) * 1e-6) /
        mib;
    return figures;
}

struct Series {
    int terminals;
    bool shared;
    std::vector<double> seconds, rates, cpu, simulatorCpu;
};

void Print(const Series& series, int repetitions) {
    std::printf("%2d terminal(s) x 1 MiB, shared signatures %-3s, %zu of %d runs passed: wall %.2f s, "
                "%.0f KiB/s in total, tool CPU %.3f s per MiB, simulator CPU %.3f s per MiB\n",
                series.terminals, series.shared ? "on" : "off", series.seconds.size(), repetitions,
                Median(series.seconds), Median(series.rates) / 1024, Median(series.cpu), Median(series.simulatorCpu));
}

void Report(int many, int repetitions) {
    std::vector<Series> all = {{1, true, {}, {}, {}, {}}, {1, false, {}, {}, {}, {}}, {many, true, {}, {}, {}, {}},
                               {many, false, {}, {}, {}, {}}};
    for (int i = 0; i < repetitions; ++i) {
        for (Series& series : all) {
            const RunFigures figures = RunOnce(series.terminals, series.shared);
            if (figures.ok) {
                series.seconds.push_back(figures.seconds);
                series.rates.push_back(figures.bytesPerSecond);
                series.cpu.push_back(figures.cpuPerMiB);
                series.simulatorCpu.push_back(figures.simulatorCpuPerMiB);
            }
        }
    }
    for (const Series& series : all) {
        Print(series, repetitions);
    }
    std::printf("%d terminals, shared on against off: %.2fx the bytes per second, %.2fx the tool CPU per MiB\n", many,
                Median(all[2].rates) / Median(all[3].rates), Median(all[2].cpu) / Median(all[3].cpu));
}

}  // namespace
}  // namespace korvane::testing

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int many = argc > 2 ? std::max(2, std::atoi(argv[2])) : 16;
    std::printf("medians over %d repetitions; each session waits 1 s before it speaks, which the wall time includes\n",
                repetitions);
    korvane::testing::Report(many, repetitions);
    return 0;
}
