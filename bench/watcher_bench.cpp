// The serial-port watcher on this machine's ports plus virtual ones (ten unless told):
//  - how soon an arrival (and a removal) is reported after the port appears (goes):
//    target within 50 ms;
//  - the CPU the polling thread uses while nothing changes: target under 2% of one core.
// A small program; it prints the median of each figure over its repetitions.
// Usage: watcher_bench [arrivals] [idle-seconds-per-sample] [present-ports]
// It runs on Linux and, built by the windows preset, under Wine.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_ports.h"
#include "bench/process_figures.h"
#include "discovery/dev_hound.h"
#include "discovery/port_enum.h"
#include "tests/fixtures/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;
using korvane::bench::Median;
using korvane::bench::ProcessCpuSeconds;
using korvane::bench::PublishBenchPort;
using korvane::bench::WithdrawBenchPort;

constexpr int kTestPort = 500;
constexpr int kIdleSamples = 5;

// Remembers when each change was posted.
class Stopwatch {
public:
    bool Post(uint32_t nPort, int lParam) {
        std::lock_guard lock(mutex_);
        if (nPort == static_cast<uint32_t>(kTestPort)) {
            last_ = {lParam, SteadyClock::now()};
            changed_.notify_all();
        }
        return true;
    }

    // Waits for the change with the given flag; its time, or nothing after a second.
    std::optional<SteadyClock::time_point> Await(int lParam) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::seconds(1), [&] { return last_.first == lParam; })) {
            return std::nullopt;
        }
        return last_.second;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::pair<int, SteadyClock::time_point> last_{-1, {}};
};

}  // namespace

int main(int argc, char** argv) {
    const int arrivals = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    const double idleSeconds = argc > 2 ? std::max(0.5, std::atof(argv[2])) : 2.0;
    const int presentPorts = argc > 3 ? std::clamp(std::atoi(argv[3]), 0, kTestPort - 1) : 10;

    // The scratch folder goes with everything in it; on Windows its COM<n>.desc files must be
    // removed by their literal names, which the temporary folder does (an ordinary recursive
    // removal takes COM1.desc for the device COM1 and never ends).
    std::optional<korvane::testing::TempDir> scratch;
    try {
        scratch.emplace();
    } catch (const std::runtime_error&) {
        std::fprintf(stderr, "no scratch folder\n");
        return 1;
    }
    const fs::path root = scratch->Path();
    const fs::path ports = root / "ports";
    fs::create_directories(ports);
    for (int port = 1; port <= presentPorts; ++port) {
        PublishBenchPort(ports.string(), port);
    }

    korvane::PortSources sources;
    sources.tableDir = root.string();
    sources.virtualDir = ports.string();
    Stopwatch stopwatch;
    korvane::CDevHound hound(korvane::MakePortEnumerator(sources));
    hound.SetNotifyTarget([&](uint32_t nPort, int lParam) { return stopwatch.Post(nPort, lParam); });
    hound.Start();
    // Idle means nothing changed lately: the watcher reads a folder that changed in the last
    // two seconds on every pass, and only then trusts its modification time.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    // Each line goes out at once: a script may time other processes over the idle span.
    std::printf("ports listed: %zu (%d virtual, the rest this machine's)\n", hound.ListedPorts().size(),
                presentPorts);
    std::fflush(stdout);

    std::vector<double> idlePercent;
    for (int sample = 0; sample < kIdleSamples; ++sample) {
        const double cpu = ProcessCpuSeconds();
        const auto start = SteadyClock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
        const double wall = std::chrono::duration<double>(SteadyClock::now() - start).count();
        idlePercent.push_back((ProcessCpuSeconds() - cpu) / wall * 100.0);
    }
    std::printf("idle CPU, %d samples of %.1f s: median %.2f%% of one core (target < 2%%)\n", kIdleSamples,
                idleSeconds, Median(idlePercent));
    std::fflush(stdout);

    std::vector<double> arrivalMs;
    std::vector<double> removalMs;
    int missed = 0;
    for (int i = 0; i < arrivals; ++i) {
        // Changes land at a random phase of the polling pass.
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + (i * 7) % 13));
        const auto plugged = SteadyClock::now();
        PublishBenchPort(ports.string(), kTestPort);
        if (const auto seen = stopwatch.Await(1)) {
            arrivalMs.push_back(std::chrono::duration<double, std::milli>(*seen - plugged).count());
        } else {
            ++missed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + (i * 5) % 11));
        const auto unplugged = SteadyClock::now();
        WithdrawBenchPort(ports.string(), kTestPort);
        if (const auto seen = stopwatch.Await(0)) {
            removalMs.push_back(std::chrono::duration<double, std::milli>(*seen - unplugged).count());
        } else {
            ++missed;
        }
    }
    hound.Stop();

    const auto worst = [](const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); };
    std::printf("arrival reported after: median %.1f ms, worst %.1f ms over %zu (target within 50 ms)\n",
                Median(arrivalMs), worst(arrivalMs), arrivalMs.size());
    std::printf("removal reported after: median %.1f ms, worst %.1f ms over %zu\n", Median(removalMs),
                worst(removalMs), removalMs.size());
    if (missed > 0) {
        std::printf("changes not reported within 1 s: %d\n", missed);
    }
    return missed == 0 ? 0 : 1;
}
