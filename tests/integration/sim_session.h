// End-to-end pieces: the real channel and signing modules, a key pair made for this
// process, a folder of virtual ports, and one session (MainProcess on its own thread,
// through the real channel) against one simulated terminal on a pseudo-terminal.
// Used by the integration tests and the session benchmark; reports problems as text.
// Thread safety: SimSession's calls belong to the thread that made it; the session runs
// on its own thread and the terminal on another, which is what the tests exercise.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "engine/download_plan.h"
#include "engine/thread_para.h"
#include "modules/channel/channel_abi.h"
#include "modules/signing/keypair.h"
#include "modules/signing/signing_abi.h"
#include "sim/sim_terminal.h"
#include "tests/fixtures/recording_port_view.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane::testing {

// The modules built beside the program, loaded once per process.
struct RealModules {
    CreateChannelFn create_channel = nullptr;
    ReleaseChannelFn release_channel = nullptr;
    SignFn sign = nullptr;
    std::string error;  // why something is missing
    bool Ok() const { return create_channel != nullptr && release_channel != nullptr && sign != nullptr; }
};
const RealModules& LoadRealModules();

// A fresh P-384 key pair for this process (all zero when generation failed).
const KeyPairBlock& ProcessKeyPair();

// A folder published as KORVANE_VIRTUAL_PORTS, the key pair written into it and the
// terminals' signature check built from it. One per test; the environment is process-wide.
class SimBench {
public:
    SimBench();
    ~SimBench();
    SimBench(const SimBench&) = delete;
    SimBench& operator=(const SimBench&) = delete;

    bool Ok() const { return error.empty(); }
    std::string error;
    TempDir dir;
    std::string ports_dir;
    std::unique_ptr<sim::SignatureCheck> check;
};

// An image of the given length: a 384-byte header carrying the load address at offset
// 372, the rest a pattern that differs from seed to seed.
std::vector<uint8_t> MakeTestImage(size_t length, uint32_t load_address, uint8_t seed);

// One terminal and one session.
class SimSession {
public:
    // on_event: the terminal's events, on its own thread (see SimTerminalConfig).
    SimSession(SimBench& bench, int port, sim::TerminalSettings settings, uint32_t baud = 0,
               std::function<void(int port, const sim::TerminalEvent&)> on_event = {});
    ~SimSession();
    SimSession(const SimSession&) = delete;
    SimSession& operator=(const SimSession&) = delete;

    // Plugs the terminal in, creates and opens the channel at 115200 baud (para.pChannel),
    // makes the download plan from app and starts MainProcess on its thread; false with
    // error set when something was missing.
    bool Start();
    // Only plugs the terminal in and opens the channel, for callers that drive the link.
    bool OpenChannel();
    // Waits for the session thread to return; false on time-out.
    bool WaitFinished(std::chrono::milliseconds timeout);
    bool Finished() const { return para.bFinished.load(); }
    // Tells the session to stop (the per-session stop flag of tear-down).
    void Stop() { para.bStop = true; }

    std::vector<std::string> Results() const { return view.Log("SetResult"); }
    sim::TerminalRecord Record() const { return terminal->Snapshot(); }

    int port;
    std::string error;
    CKorvaneAppDownloadApp app;
    RecordingPortView view;
    std::unique_ptr<sim::SimTerminal> terminal;
    DownloadPlan plan;
    RunContext run{&plan, &view, nullptr, &app.b_running};
    _THREAD_PARA_T para;

private:
    SimBench& bench_;
};

// The record's sequence of texts and commands with runs folded: "5", "48", "0*4".
std::vector<std::string> FoldedSequence(const sim::TerminalRecord& record);

}  // namespace korvane::testing
