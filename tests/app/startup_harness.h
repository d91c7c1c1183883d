// What the start-up tests share: a module folder made of links to the built modules (or to
// broken stand-ins), and a run of InitInstance that records its messages.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/KorvaneAppDownloadApp.h"
#include "tests/fixtures/config_dir.h"
#include "tests/fixtures/recording_message_sink.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane::testing {

// Where the build put the modules and the broken stand-ins.
inline const std::string kBuiltModules = KORVANE_MODULE_DIR;
inline const std::string kChannelWithoutRelease = KORVANE_CHANNEL_WITHOUT_RELEASE;
inline const std::string kUtilityWithoutOneEntry = KORVANE_UTILITY_WITHOUT_ONE_ENTRY;
inline const std::string kSigningWithoutVerify = KORVANE_SIGNING_WITHOUT_VERIFY;

// A module folder holding links to the built channel and utility modules; tests replace
// or remove them. (The signing module is found by bare name beside the test program.)
class ModuleDir {
public:
    ModuleDir() {
        Link("Ruduvar9.so", kBuiltModules + "/Ruduvar9.so");
        Link("RERizu.so", kBuiltModules + "/RERizu.so");
    }
    const std::string& Path() const { return dir_.Path(); }
    void Link(const std::string& name, const std::string& target) const {
        Remove(name);
        std::filesystem::create_symlink(target, dir_.File(name));
    }
    void Remove(const std::string& name) const {
        std::error_code ignored;
        std::filesystem::remove(dir_.File(name), ignored);
    }

private:
    TempDir dir_;
};

struct StartupRun {
    bool started = false;
    std::vector<std::string> messages;
};

// Every start-up test leaves the current directory as it found it.
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { savedCwd_ = std::filesystem::current_path(); }
    void TearDown() override {
        app.ExitInstance();
        std::filesystem::current_path(savedCwd_);
    }

    StartupRun Start() { return StartIn(config.Path()); }
    StartupRun StartIn(const std::string& configDir) {
        RecordingMessageSink sink;
        StartupRun run;
        run.started = app.InitInstance(sink, configDir, modules.Path());
        run.messages = sink.messages;
        return run;
    }

    ConfigDir config;
    ModuleDir modules;
    CKorvaneAppDownloadApp app;

private:
    std::filesystem::path savedCwd_;
};

}  // namespace korvane::testing
