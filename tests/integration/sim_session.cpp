#include "tests/integration/sim_session.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/run_plan.h"
#include "engine/main_process.h"
#include "engine/packet.h"
#include "platform/dynlib.h"

namespace korvane::testing {
namespace {

constexpr uint32_t kLinkBaud = 115200;
constexpr size_t kImageHeaderBytes = 384;
constexpr size_t kLoadAddressAt = 372;

template <typename Fn>
Fn Entry(ModuleHandle module, const char* name, std::string& error) {
    auto* entry = reinterpret_cast<Fn>(FindSymbol(module, name));
    if (entry == nullptr && error.empty()) {
        error = std::string("entry point ") + name + " missing";
    }
    return entry;
}

ModuleHandle Load(const char* path, std::string& error) {
    ModuleHandle module = LoadModule(path);
    if (module == nullptr && error.empty()) {
        error = std::string("cannot load ") + path + ": " + LastModuleError();
    }
    return module;
}

// The utility module's INI entries, through which the signature store is kept.
struct StoreEntries {
    RERizu_GetIniStringWFn get = nullptr;
    RERizu_WriteIniStringWFn write = nullptr;
    std::string error;
};

const StoreEntries& LoadStoreEntries() {
    static const StoreEntries entries = [] {
        StoreEntries e;
        if (ModuleHandle module = Load(KORVANE_RERIZU_MODULE_PATH, e.error)) {
            e.get = Entry<RERizu_GetIniStringWFn>(module, "RERizu_GetIniStringW", e.error);
            e.write = Entry<RERizu_WriteIniStringWFn>(module, "RERizu_WriteIniStringW", e.error);
        }
        return e;
    }();
    return entries;
}

}  // namespace

const RealModules& LoadRealModules() {
    static const RealModules modules = [] {
        RealModules m;
        if (ModuleHandle channel = Load(KORVANE_CHANNEL_MODULE_PATH, m.error)) {
            m.create_channel = Entry<CreateChannelFn>(channel, "CreateChannel", m.error);
            m.release_channel = Entry<ReleaseChannelFn>(channel, "ReleaseChannel", m.error);
        }
        if (ModuleHandle signing = Load(KORVANE_SIGNING_MODULE_PATH, m.error)) {
            m.sign = Entry<SignFn>(signing, "sign", m.error);
        }
        return m;
    }();
    return modules;
}

const KeyPairBlock& ProcessKeyPair() {
    static const KeyPairBlock key_pair = GenerateKeyPair().value_or(KeyPairBlock{});
    return key_pair;
}

SimBench::SimBench() {
    ports_dir = dir.File("ports");
    std::error_code ignored;
    std::filesystem::create_directory(ports_dir, ignored);
    setenv("KORVANE_VIRTUAL_PORTS", ports_dir.c_str(), 1);

    const KeyPairBlock& key_pair = ProcessKeyPair();
    if (!KeyPairSealed(key_pair)) {
        error = "no key pair could be generated";
        return;
    }
    const std::string key_file = dir.File("keyPair.bin");
    std::ofstream(key_file, std::ios::binary)
        .write(reinterpret_cast<const char*>(key_pair.data()), static_cast<std::streamsize>(key_pair.size()));
    check = sim::LoadKeySignatureCheck(key_file, error);
    if (!LoadRealModules().Ok()) {
        error = LoadRealModules().error;
    }
}

SimBench::~SimBench() { unsetenv("KORVANE_VIRTUAL_PORTS"); }

std::vector<uint8_t> MakeTestImage(size_t length, uint32_t load_address, uint8_t seed) {
    std::vector<uint8_t> image(length);
    for (size_t i = 0; i < length; ++i) {
        image[i] = static_cast<uint8_t>((i * 31 + seed) ^ (i >> 8));
    }
    if (length >= kImageHeaderBytes) {
        PutU32(image.data() + kLoadAddressAt, load_address);
    }
    return image;
}

SimSession::SimSession(SimBench& bench, int port_number, sim::TerminalSettings settings, uint32_t baud,
                       std::function<void(int port, const sim::TerminalEvent&)> on_event)
    : port(port_number), bench_(bench) {
    sim::SimTerminalConfig config;
    config.port = port;
    config.ports_dir = bench.ports_dir;
    config.baud = baud;
    config.settings = std::move(settings);
    config.check = bench.check.get();
    config.on_event = std::move(on_event);
    terminal = std::make_unique<sim::SimTerminal>(std::move(config));

    app.b_running = 1;
    app.signing.pfnSign = LoadRealModules().sign;
    app.signing.keyPairData = ProcessKeyPair();
    app.signing.signedDataIniPath = bench.dir.File("SignedData.ini");
    const StoreEntries& store = LoadStoreEntries();
    error = store.error;
    app.utility.GetIniStringW = store.get;
    app.utility.WriteIniStringW = store.write;
}

bool SimSession::Start() {
    if (!OpenChannel()) {
        return false;
    }
    plan = MakeDownloadPlan(app);
    para.pThread = std::thread([this] { MainProcess(&para); });
    return true;
}

bool SimSession::OpenChannel() {
    const RealModules& modules = LoadRealModules();
    if (!bench_.Ok() || !modules.Ok() || !error.empty()) {
        error = !bench_.Ok() ? bench_.error : !modules.Ok() ? modules.error : error;
        return false;
    }
    if (!terminal->Plug(error)) {
        return false;
    }
    IChannel* channel = nullptr;
    if (modules.create_channel(&channel, 0) == 0 || channel == nullptr) {
        error = "CreateChannel failed";
        return false;
    }
    para.pRun = &run;
    para.nPort = static_cast<uint32_t>(port);
    para.pChannel = channel;
    const ChannelConfig channel_config{0, static_cast<uint32_t>(port), kLinkBaud};
    if (channel->vtbl->Open(channel, &channel_config) == 0) {
        error = "cannot open COM" + std::to_string(port) + ", error " + std::to_string(channel->vtbl->GetLastError(channel));
        return false;
    }
    para.bOpened = 1;
    return true;
}

bool SimSession::WaitFinished(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!Finished()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

SimSession::~SimSession() {
    Stop();
    if (para.pThread.joinable()) {
        para.pThread.join();
    }
    if (para.pChannel != nullptr) {
        para.pChannel->vtbl->Close(para.pChannel);
        LoadRealModules().release_channel(para.pChannel);
    }
    terminal->Unplug();
}

std::vector<std::string> FoldedSequence(const sim::TerminalRecord& record) {
    const std::vector<std::string> items = record.Sequence();
    std::vector<std::string> folded;
    size_t run = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        ++run;
        if (i + 1 < items.size() && items[i + 1] == items[i]) {
            continue;
        }
        folded.push_back(run == 1 ? items[i] : items[i] + "*" + std::to_string(run));
        run = 0;
    }
    return folded;
}

}  // namespace korvane::testing
