// The console front end as a program: exit status and operator messages on stderr.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/console_options.h"
#include "app/stderr_sink.h"
#include "tests/app/startup_harness.h"

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;

const std::string kProgram = KORVANE_PROGRAM;

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program from the given folder; a program that hangs is ended after 30 s.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd) {
    TempDir output;
    std::string command = "cd " + Quote(cwd) + " && timeout 30 " + Quote(program);
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    command += " >" + Quote(output.File("out")) + " 2>" + Quote(output.File("err")) + " </dev/null";
    const int raw = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(output.File("out"));
    run.err = ReadText(output.File("err"));
    return run;
}

// A start-up that completes goes on into a run; --timeout ends that run after a second.
std::vector<std::string> HeadlessArgs(const std::vector<std::string>& more) {
    std::vector<std::string> args = {"--headless"};
    args.insert(args.end(), more.begin(), more.end());
    args.insert(args.end(), {"--timeout", "1"});
    return args;
}

ProgramRun RunHeadless(const ConfigDir& config) {
    return RunProgram(kProgram, HeadlessArgs({"--config-dir", config.Path()}), "/");
}

TEST(ConsoleProgramTest, CleanStartUpShowsNoMessage) {
    ConfigDir config;
    const ProgramRun run = RunHeadless(config);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
}

TEST(ConsoleProgramTest, MessagesGoToStderrOneLineEachAndAFatalOneExitsTwo) {
    struct Case {
        const char* name;
        void (*arrange)(ConfigDir&);
        int status;
        std::string err;  // {config} stands for the folder
    };
    const Case cases[] = {
        {"key pair missing", [](ConfigDir& c) { c.Remove("keyPair.bin"); }, 2, "Cannot open ({config}/keyPair.bin).\n"},
        {"exponent too short", [](ConfigDir& c) { c.SetDevPath("DATABASE", "RSA_E", "3"); }, 2,
         "Firmware key E length is incorrect!\n"},
        {"client key", [](ConfigDir& c) { c.SetDevPath("SIGNEDDATATOOL", "enable", "1"); }, 2,
         "Incorrect length of client public key N！\n"},
        {"warnings are shown and start-up goes on",
         [](ConfigDir& c) {
             c.SetAppLoad("FileDownload", "1");
             c.SetAppLoad("FilePush1", "1");
             c.SetAppLoad("FilePath1", "set1");
             WriteText(c.File("set1/a.bin"), "a");
             c.SetAppLoad("FilePush2", "1");
             c.SetAppLoad("FilePath2", "set2");
             WriteText(c.File("set2/" + std::string(130, 'n')), "name too long for the record");
         },
         0, "Please reset the file system configuration\n文件系统待下载文件(2)加载错误，请重新选择！\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigDir config;
        c.arrange(config);
        const ProgramRun run = RunHeadless(config);
        EXPECT_EQ(run.status, c.status);
        std::string expected = c.err;
        if (const size_t at = expected.find("{config}"); at != std::string::npos) {
            expected.replace(at, 8, config.Path());
        }
        EXPECT_EQ(run.err, expected);
    }
}

// The program copied into a folder of its own, with the modules chosen per case.
class CopiedProgram {
public:
    explicit CopiedProgram(const std::vector<std::pair<std::string, std::string>>& modules) {
        fs::copy_file(kProgram, Program());
        for (const auto& [name, source] : modules) {
            fs::copy_file(source, dir_.File(name));
        }
    }
    std::string Program() const { return dir_.File("KorvaneAppDownload"); }
    const std::string& Path() const { return dir_.Path(); }

private:
    TempDir dir_;
};

const std::pair<std::string, std::string> kChannel{"Ruduvar9.so", kBuiltModules + "/Ruduvar9.so"};
const std::pair<std::string, std::string> kUtility{"RERizu.so", kBuiltModules + "/RERizu.so"};
const std::pair<std::string, std::string> kSigning{"RODEdar.so", kBuiltModules + "/RODEdar.so"};

TEST(ConsoleProgramTest, SigningModuleIsLookedForBesideTheProgram) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> modules;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {"all three", {kChannel, kUtility, kSigning}, 0, ""},
        {"signing module missing", {kChannel, kUtility}, 2, "generate_key_pair dll call fail\n"},
        {"signing module lacks verify", {kChannel, kUtility, {"RODEdar.so", kSigningWithoutVerify}}, 2,
         "generate_key_pair dll call fail\n"},
        {"utility module missing: no message", {kChannel, kSigning}, 2, ""},
    };
    ConfigDir config;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CopiedProgram copy(c.modules);
        const ProgramRun run = RunProgram(copy.Program(), HeadlessArgs({"--config-dir", config.Path()}), "/");
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.err);
    }
}

TEST(ConsoleProgramTest, ConfigurationDefaultsToTheProgramsFolder) {
    ConfigDir config;
    CopiedProgram copy({kChannel, kUtility, kSigning});
    for (const char* name : {"KorvaneAppDownload.ini", "DevPath.ini", "SignedData.ini", "SignTool.ini", "keyPair.bin"}) {
        fs::copy_file(config.File(name), copy.Path() + "/" + name);
    }
    TempDir elsewhere;
    EXPECT_EQ(RunProgram(copy.Program(), HeadlessArgs({}), elsewhere.Path()).status, 0);
    fs::remove(copy.Path() + "/keyPair.bin");
    const ProgramRun run = RunProgram(copy.Program(), HeadlessArgs({}), elsewhere.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "Cannot open (" + copy.Path() + "/keyPair.bin).\n");
}

TEST(ConsoleProgramTest, SampleConfigurationMadeByTheScriptStartsCleanly) {
    TempDir dir;
    const std::string config = dir.File("cfg");
    const std::string script = std::string(KORVANE_SOURCE_DIR) + "/scripts/make-config";
    const std::vector<std::string> makeArgs = {config, "--bin", KORVANE_TOOLS_DIR};
    ASSERT_EQ(RunProgram(script, makeArgs, "/").status, 0);
    for (const char* name : {"KorvaneAppDownload.ini", "DevPath.ini", "SignedData.ini", "SignTool.ini"}) {
        EXPECT_TRUE(fs::exists(config + "/" + name)) << name;
    }
    EXPECT_EQ(fs::file_size(config + "/keyPair.bin"), 188u);

    const ProgramRun run = RunProgram(kProgram, HeadlessArgs({"--config-dir", config}), "/");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");

    // An existing configuration (and its signature store) is kept unless --force is given.
    const ProgramRun again = RunProgram(script, makeArgs, "/");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("--force"), std::string::npos);
    std::vector<std::string> forced = makeArgs;
    forced.push_back("--force");
    EXPECT_EQ(RunProgram(script, forced, "/").status, 0);
}

TEST(ConsoleProgramTest, BadCommandLineExitsTwoWithUsage) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--headless", "--bogus"},
                                                 std::vector<std::string>{"--headless", "--config-dir"},
                                                 std::vector<std::string>{"--headless", "--config-dir", ""}}) {
        const ProgramRun run = RunProgram(kProgram, args, "/");
        EXPECT_EQ(run.status, 2) << args.back();
        EXPECT_NE(run.err.find("usage: KorvaneAppDownload --headless"), std::string::npos) << run.err;
    }
    const ProgramRun help = RunProgram(kProgram, {"--headless", "--help"}, "/");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--config-dir DIR"), std::string::npos);
}

TEST(ConsoleOptionsTest, ParsesTheConfigurationFolder) {
    struct Case {
        std::vector<const char*> args;
        bool ok;
        std::string configDir;
        bool help;
    };
    const Case cases[] = {
        {{"prog", "--headless"}, true, "", false},
        {{"prog", "--headless", "--config-dir", "/cfg"}, true, "/cfg", false},
        {{"prog", "--config-dir", "rel", "--headless"}, true, "rel", false},
        {{"prog", "--headless", "--help"}, true, "", true},
        {{"prog", "--headless", "--config-dir"}, false, "", false},
        {{"prog", "--headless", "--config-dir", ""}, false, "", false},
        {{"prog", "--headless", "extra"}, false, "", false},
        {{"prog", "--list-ports", "--config-dir", "/cfg"}, true, "/cfg", false},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv;
        for (const char* arg : c.args) {
            argv.push_back(const_cast<char*>(arg));
        }
        ConsoleOptions options;
        std::string error;
        const bool ok = ParseConsoleOptions(static_cast<int>(argv.size()), argv.data(), options, error);
        EXPECT_EQ(ok, c.ok) << c.args.back();
        EXPECT_EQ(error.empty(), c.ok) << c.args.back();
        if (ok) {
            EXPECT_EQ(options.configDir, c.configDir);
            EXPECT_EQ(options.help, c.help);
        }
        EXPECT_TRUE(WantsConsole(static_cast<int>(argv.size()), argv.data()));
    }
    char prog[] = "prog";
    char other[] = "--config-dir";
    char* window[] = {prog, other};
    EXPECT_FALSE(WantsConsole(2, window));
}

TEST(StderrSinkTest, OneLinePerMessageWithItsClosingLineBreakAsTheLineEnd) {
    TempDir dir;
    std::FILE* file = std::fopen(dir.File("out").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    StderrMessageSink sink(file);
    sink.ShowMessage("Cannot open (/x).\r\n");
    sink.ShowMessage("SignedData.ini file not found!");
    sink.ShowMessage("two\r\nlines");
    sink.ShowMessage("");
    std::fclose(file);
    EXPECT_EQ(ReadText(dir.File("out")), "Cannot open (/x).\nSignedData.ini file not found!\ntwo\r\nlines\n\n");
}

}  // namespace
}  // namespace korvane::testing
