// The window's cost on a run: 16 simulated terminals on unpaced pseudo-terminals download
// the published sample images, once through the console loop and once through the window
// on a (virtual) display. Each round runs in a child process of its own. Reports the
// median run time of each front end and the longest gap between the ticks of a 10 ms
// timer on the window's event loop, with the window's longest single event, the CPU its
// thread spent in it and what it was.
//
// Usage: window_run_bench [--rounds N] [--terminals N]
//   Needs a display (run it under xvfb-run -a) and, beside it, KorvaneAppDownload's
//   modules, korvane-sim, korvane-keygen, korvane-rsakeys and korvane-image-server.
//   Targets: window median at most 5 % above the console's; no gap above 50 ms.
//   Run times are from Start until every terminal finished; start-up is not counted.
//   Exit status 1 when a target is missed or a round fails.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMetaEnum>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/console_options.h"
#include "app/console_run.h"
#include "app/port_rows.h"
#include "app/run_control.h"
#include "app/stderr_sink.h"
#include "platform/module_path.h"
#include "ui/qt/CMainFrame.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSimDelayMs = 300;      // terminals plug in after Start, as the watcher needs
constexpr int kTickMs = 10;
constexpr double kAllowedSlowdown = 1.05;
constexpr double kAllowedGapMs = 50.0;
constexpr int kRoundLimitSeconds = 120;

pid_t Spawn(const std::vector<std::string>& args, const std::string& outFile) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The simulated terminals of one round, plugged in shortly after the front end's Start.
// Real terminals compute on their own; the simulator runs below the tool's priority so
// that its signature checks take the host's spare time, not the tool's.
class Terminals {
public:
    Terminals(const std::string& bin, const std::string& config, const std::string& ports, int count) {
        starter_ = std::thread([=, this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(kSimDelayMs));
            pid_ = Spawn({"/usr/bin/nice", "-n", "10", bin + "/korvane-sim", "--ports", ports, "--count", std::to_string(count), "--first-port", "20", "--mode", "loader",
                          "--key", config + "/keyPair.bin", "--keep-running"},
                         "/dev/null");
        });
    }
    ~Terminals() {
        starter_.join();
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            Wait(pid_);
        }
    }

private:
    std::thread starter_;
    pid_t pid_ = -1;
};

bool StartUp(korvane::CKorvaneAppDownloadApp& app, korvane::IMessageSink& sink, const std::string& config) {
    return app.InitInstance(sink, config, korvane::OwnModuleDir());
}

// One console round: the console's own loop until every terminal finished.
int ConsoleRound(const std::string& config, const std::string& ports, int count) {
    korvane::CKorvaneAppDownloadApp app;
    korvane::StderrMessageSink sink;
    if (!StartUp(app, sink, config)) {
        return 2;
    }
    korvane::ConsoleOptions options;
    options.count = count;
    options.timeoutSeconds = kRoundLimitSeconds;
    std::FILE* quiet = std::fopen("/dev/null", "w");
    const Clock::time_point started = Clock::now();
    int status = 0;
    {
        Terminals terminals(korvane::OwnModuleDir(), config, ports, count);
        status = korvane::RunConsoleDownload(app, options, sink, quiet);
    }
    const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    std::fclose(quiet);
    app.ExitInstance();
    std::printf("%.1f 0\n", elapsed);
    return status;
}

// The application that keeps the longest single delivery of an event (outermost only), its
// thread CPU and what it was: an event much longer than its CPU is the window thread
// waiting (for the display server, or a lock), not working.
class TimedApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_ > 0) {
            return QApplication::notify(receiver, event);
        }
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = ThreadCpuMs();
        const int type = event->type();
        const char* className = receiver->metaObject()->className();
        ++depth_;
        const bool handled = QApplication::notify(receiver, event);
        --depth_;
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (ms > longestMs) {
            longestMs = ms;
            longestCpuMs = ThreadCpuMs() - cpuBefore;
            const char* name = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
            longestWhat = (name != nullptr ? std::string(name) : std::to_string(type)) + " to " + className;
        }
        return handled;
    }

    double longestMs = 0;
    double longestCpuMs = 0;
    std::string longestWhat;

private:
    static double ThreadCpuMs() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
    }

    int depth_ = 0;
};

// One window round: the main window shown, Start pressed, a 10 ms timer watching the
// event loop, until every terminal finished.
int WindowRound(int argc, char** argv, const std::string& config, const std::string& ports, int count) {
    TimedApplication application(argc, argv);
    korvane::CKorvaneAppDownloadApp app;
    korvane::StderrMessageSink sink;
    korvane::PortRows rows(app);
    korvane::CMainFrame frame(app, rows, &sink);
    frame.resize(1920, 1000);
    frame.show();
    QApplication::processEvents();
    if (!StartUp(app, sink, config)) {
        return 2;
    }

    double maxGapMs = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        maxGapMs = std::max(maxGapMs, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
    });

    size_t finished = 0;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        finished += frame.Run().TakeEndedSessions().size();
        if (finished >= static_cast<size_t>(count)) {
            QApplication::quit();
        }
    });
    QTimer::singleShot(kRoundLimitSeconds * 1000, [] { QApplication::exit(1); });

    const Clock::time_point started = Clock::now();
    int status = 0;
    {
        Terminals terminals(korvane::OwnModuleDir(), config, ports, count);
        frame.OnStart();
        sinceTick.start();
        ticker.start(kTickMs);
        watcher.start(kTickMs);
        status = QApplication::exec();
        ticker.stop();
    }
    const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    frame.OnStop();
    app.ExitInstance();
    std::printf("%.1f %.1f %.1f %.1f %s\n", elapsed, maxGapMs, application.longestMs, application.longestCpuMs,
                application.longestWhat.c_str());
    return status;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : (n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

struct RoundResult {
    bool ok = false;
    double elapsedMs = 0;
    double maxGapMs = 0;
    double longestEventMs = 0;  // window rounds only
    double longestEventCpuMs = 0;
    std::string longestEvent;
};

RoundResult RunRound(const std::string& mode, const std::string& work, const std::string& config, int count, int round) {
    const std::string ports = work + "/ports-" + mode + "-" + std::to_string(round);
    std::filesystem::create_directories(ports);
    const std::string out = work + "/" + mode + "-" + std::to_string(round) + ".txt";
    const pid_t pid = Spawn({korvane::OwnModulePath(), "--round", mode, config, ports, std::to_string(count)}, out);
    RoundResult result;
    if (pid < 0 || Wait(pid) != 0) {
        return result;
    }
    std::FILE* file = std::fopen(out.c_str(), "r");
    if (file != nullptr) {
        result.ok = std::fscanf(file, "%lf %lf", &result.elapsedMs, &result.maxGapMs) == 2;
        char what[256] = {};
        if (result.ok &&
            std::fscanf(file, "%lf %lf %255[^\n]", &result.longestEventMs, &result.longestEventCpuMs, what) == 3) {
            result.longestEvent = what;
        }
        std::fclose(file);
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--round") {
        const std::string mode = argv[2];
        const int count = std::atoi(argv[5]);
        setenv("KORVANE_VIRTUAL_PORTS", argv[4], 1);
        return mode == "window" ? WindowRound(1, argv, argv[3], argv[4], count) : ConsoleRound(argv[3], argv[4], count);
    }
    int rounds = 5;
    int count = 16;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--rounds") {
            rounds = std::max(1, std::atoi(argv[i + 1]));
        } else if (option == "--terminals") {
            count = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        std::fprintf(stderr, "window_run_bench: no display; run it under xvfb-run -a\n");
        return 2;
    }

    char pattern[] = "/tmp/korvane-window-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 2;
    }
    const std::string work = pattern;
    const std::string bin = korvane::OwnModuleDir();
    const std::string config = work + "/config";
    const std::string source = KORVANE_SOURCE_DIR;
    if (Wait(Spawn({source + "/scripts/make-config", config, "--bin", bin}, work + "/make-config.txt")) != 0) {
        std::fprintf(stderr, "window_run_bench: scripts/make-config failed\n");
        return 2;
    }
    const pid_t server = Spawn({bin + "/korvane-image-server", "--config-dir", config, "--enable"}, work + "/server.txt");
    for (int i = 0; i < 50 && std::filesystem::file_size(work + "/server.txt") == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    std::vector<double> console, window, gaps;
    bool failed = false;
    for (int round = 0; round < rounds; ++round) {
        // The order changes every round, so that neither front end always runs on a warmer machine.
        RoundResult c;
        RoundResult w;
        if (round % 2 == 0) {
            c = RunRound("console", work, config, count, round);
            w = RunRound("window", work, config, count, round);
        } else {
            w = RunRound("window", work, config, count, round);
            c = RunRound("console", work, config, count, round);
        }
        std::printf("round %d: console %.0f ms, window %.0f ms, longest loop gap %.1f ms (longest event %.1f ms, "
                    "%.1f ms of it CPU: %s)%s\n",
                    round + 1, c.elapsedMs, w.elapsedMs, w.maxGapMs, w.longestEventMs, w.longestEventCpuMs,
                    w.longestEvent.c_str(), c.ok && w.ok ? "" : " (failed)");
        std::fflush(stdout);
        failed = failed || !c.ok || !w.ok;
        console.push_back(c.elapsedMs);
        window.push_back(w.elapsedMs);
        gaps.push_back(w.maxGapMs);
    }
    kill(server, SIGTERM);
    Wait(server);
    std::filesystem::remove_all(work);

    const double consoleMedian = Median(console);
    const double windowMedian = Median(window);
    const double worstGap = *std::max_element(gaps.begin(), gaps.end());
    std::printf("%d terminals, %d rounds: console median %.0f ms, window median %.0f ms (%+.1f %%), "
                "median longest gap %.1f ms, worst %.1f ms\n",
                count, rounds, consoleMedian, windowMedian, (windowMedian / consoleMedian - 1) * 100, Median(gaps),
                worstGap);
    const bool slow = windowMedian > consoleMedian * kAllowedSlowdown;
    const bool stalled = worstGap > kAllowedGapMs;
    std::printf("targets: run time %s, event loop %s\n", slow ? "MISSED" : "met", stalled ? "MISSED" : "met");
    return failed || slow || stalled ? 1 : 0;
}
