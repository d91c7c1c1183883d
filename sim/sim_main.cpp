// korvane-sim: simulated terminals published as virtual ports, for the demo and manual runs.
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/finish_rule.h"
#include "sim/record_writer.h"
#include "sim/signature_check.h"
#include "sim/sim_options.h"
#include "sim/sim_terminal.h"

namespace {

using korvane::sim::SimOptions;
using SteadyClock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kTurn(20);
// How long a finished terminal stays plugged in before the program ends, so that the tool
// reads the last answer before the port goes away.
constexpr std::chrono::milliseconds kLingerBeforeExit(1000);

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// One line per event on stdout, and the events file when there is an output folder.
class EventLog {
public:
    EventLog(SteadyClock::time_point start, korvane::sim::RecordWriter* writer) : start_(start), writer_(writer) {}

    void Print(int port, const korvane::sim::TerminalEvent& event) {
        const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start_);
        {
            std::lock_guard lock(mutex_);
            std::printf("[%7.3f] COM%d %s%s%s\n", static_cast<double>(since.count()) / 1000.0, port, event.kind.c_str(),
                        event.detail.empty() ? "" : " ", event.detail.c_str());
            std::fflush(stdout);
        }
        if (writer_ != nullptr) {
            writer_->WriteEvent(port, event, since);
        }
    }

private:
    SteadyClock::time_point start_;
    korvane::sim::RecordWriter* writer_;
    std::mutex mutex_;
};

struct Slot {
    std::unique_ptr<korvane::sim::SimTerminal> terminal;
    SteadyClock::time_point plug_at;
    bool plugged_in = false;
    bool finished = false;
    SteadyClock::time_point finished_at;
    bool released = false;  // unplugged after finishing
};

korvane::sim::TerminalSettings SettingsFor(const SimOptions& options, int port) {
    korvane::sim::TerminalSettings settings;
    settings.start_mode = options.mode;
    settings.tusn = options.tusn.value_or(korvane::sim::DefaultTusn(port));
    settings.version_text = options.version_text.value_or(settings.version_text);
    settings.erase_first_answer = options.erase_answer.value_or(settings.erase_first_answer);
    settings.secure_boot_disabled = options.secure_boot_disabled;
    settings.faults = korvane::sim::RulesForPort(options.faults, port);
    return settings;
}

uint32_t BaudFor(const SimOptions& options, const korvane::sim::TerminalSettings& settings) {
    for (const korvane::sim::FaultRule& rule : settings.faults) {
        if (rule.kind == korvane::sim::FaultKind::kPace) {
            return rule.value;
        }
    }
    return options.baud;
}

std::string Summary(const korvane::sim::TerminalRecord& record) {
    std::string text = std::to_string(record.packets.size()) + " packets, " + std::to_string(record.images.size()) +
                       " images, " + std::to_string(record.files.size()) + " files";
    text += record.logo ? ", logo" : "";
    text += record.audio ? ", audio" : "";
    return text;
}

void Finish(Slot& slot, std::string_view reason, EventLog& log, korvane::sim::RecordWriter* writer) {
    slot.finished = true;
    slot.finished_at = SteadyClock::now();
    const korvane::sim::TerminalRecord record = slot.terminal->Snapshot();
    log.Print(slot.terminal->Port(), {"finished", std::string(reason) + ": " + Summary(record)});
    std::string error;
    if (writer != nullptr && !writer->WriteRecord(slot.terminal->Port(), record, error)) {
        std::fprintf(stderr, "korvane-sim: %s\n", error.c_str());
    }
}

bool AllDone(const std::vector<Slot>& slots, const SimOptions& options, SteadyClock::time_point now) {
    for (const Slot& slot : slots) {
        if (!slot.finished || (options.unplug_after_finish_ms && !slot.released) ||
            now - slot.finished_at < kLingerBeforeExit) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    if (!korvane::sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "korvane-sim: %s\n(see korvane-sim --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(korvane::sim::SimUsage().c_str(), stdout);
        return 0;
    }
    std::unique_ptr<korvane::sim::SignatureCheck> check;
    if (options.verify) {
        check = options.module_path.empty()
                    ? korvane::sim::LoadKeySignatureCheck(options.key_file, error)
                    : korvane::sim::LoadModuleSignatureCheck(options.module_path, options.key_file, error);
        if (!check) {
            std::fprintf(stderr, "korvane-sim: %s (or run with --no-verify)\n", error.c_str());
            return 2;
        }
    }
    std::unique_ptr<korvane::sim::RecordWriter> writer;
    if (!options.out_dir.empty()) {
        writer = std::make_unique<korvane::sim::RecordWriter>(options.out_dir);
        if (!writer->Prepare(error)) {
            std::fprintf(stderr, "korvane-sim: %s\n", error.c_str());
            return 2;
        }
    }
    const auto start = SteadyClock::now();
    EventLog log(start, writer.get());
    std::vector<Slot> slots(static_cast<size_t>(options.count));
    for (int i = 0; i < options.count; ++i) {
        korvane::sim::SimTerminalConfig config;
        config.port = options.first_port + i;
        config.ports_dir = options.ports_dir;
        config.wine_prefix = options.wine_prefix;
        config.description = options.description;
        config.settings = SettingsFor(options, config.port);
        config.baud = BaudFor(options, config.settings);
        config.check = check.get();
        config.on_event = [&log](int port, const korvane::sim::TerminalEvent& event) { log.Print(port, event); };
        slots[i].terminal = std::make_unique<korvane::sim::SimTerminal>(std::move(config));
        slots[i].plug_at = start + std::chrono::milliseconds(uint64_t{options.plug_every_ms} * i);
    }
    InstallStopSignals();

    int status = 0;
    const std::chrono::milliseconds idle(options.idle_finish_ms);
    while (g_stop == 0 && (options.keep_running || !AllDone(slots, options, SteadyClock::now()))) {
        const auto now = SteadyClock::now();
        for (Slot& slot : slots) {
            if (!slot.plugged_in && now >= slot.plug_at) {
                if (!slot.terminal->Plug(error)) {
                    std::fprintf(stderr, "korvane-sim: %s\n", error.c_str());
                    status = 2;
                    g_stop = 1;
                    break;
                }
                slot.plugged_in = true;
            }
            if (slot.plugged_in && !slot.finished) {
                const std::string_view reason = korvane::sim::FinishReason(slot.terminal->Status(), now, idle);
                if (!reason.empty()) {
                    Finish(slot, reason, log, writer.get());
                }
            }
            if (slot.finished && !slot.released && options.unplug_after_finish_ms &&
                now - slot.finished_at >= std::chrono::milliseconds(*options.unplug_after_finish_ms)) {
                slot.terminal->Unplug();
                slot.released = true;
            }
        }
        std::this_thread::sleep_for(kTurn);
    }
    for (Slot& slot : slots) {
        if (slot.plugged_in && !slot.finished && writer) {
            Finish(slot, "stopped", log, writer.get());
        }
        slot.terminal->Unplug();
    }
    return status;
}
