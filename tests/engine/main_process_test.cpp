// The session driver's path decisions, on a scripted terminal with a fake clock: which
// packets and texts go out, in which order and when, and what the port's row is told.
#include "engine/main_process.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/packet.h"
#include "tests/fixtures/engine_rig.h"
#include "tests/fixtures/link_frames.h"
#include "tests/fixtures/recording_session_events.h"

namespace korvane::testing {
namespace {

constexpr uint32_t kLoadAddress = 0x80100000;

// One thing the session wrote: a packet ("cmd 48") or a plain-text command.
struct Written {
    uint32_t at = 0;
    std::string what;
    uint32_t cmd = 0;
    Bytes payload;
};

// The terminal's side: answers every packet (OkFrame unless told otherwise), stays silent
// to packets while its application runs, and answers the plain-text commands.
class ScriptedTerminal {
public:
    explicit ScriptedTerminal(SessionRig& rig) : rig_(rig) {
        rig.channel.OnWrite([this](std::span<const uint8_t> bytes) { OnWrite(bytes); });
    }

    bool app_mode = false;
    std::string version = "BOOT\r\nQV41C\r\nV2.07";
    std::optional<std::string> tusn;  // the reply to "READ TUSN"; none: silence
    bool answer_okay = true;          // to "GOTO FASTBOOT" and "CHECK SP"

    // The answer to the n-th packet (from 0) of a command; an empty answer is silence.
    void Answer(uint32_t cmd, int n, Bytes reply) { answers_[{cmd, n}] = std::move(reply); }

    const std::vector<Written>& Writes() const { return written_; }

    // What was written, runs of the same packet folded: "5", "48", "0*3", "GOTO FASTBOOT".
    std::vector<std::string> Sequence() const {
        std::vector<std::string> folded;
        int run = 0;
        for (size_t i = 0; i < written_.size(); ++i) {
            ++run;
            if (i + 1 < written_.size() && written_[i + 1].what == written_[i].what) {
                continue;
            }
            folded.push_back(run == 1 ? written_[i].what : written_[i].what + "*" + std::to_string(run));
            run = 0;
        }
        return folded;
    }

    const Written* Find(const std::string& what, int n = 0) const {
        for (const Written& w : written_) {
            if (w.what == what && n-- == 0) {
                return &w;
            }
        }
        return nullptr;
    }

private:
    void OnWrite(std::span<const uint8_t> bytes) {
        const uint32_t now = rig_.clock.Now();
        if (const std::optional<DecodedPacket> packet = DecodeCommandFrame(bytes)) {
            written_.push_back({now, std::to_string(packet->cmd), packet->cmd, packet->payload});
            const int n = counts_[packet->cmd]++;
            if (app_mode) {
                return;
            }
            const auto scripted = answers_.find({packet->cmd, n});
            if (scripted != answers_.end()) {
                rig_.channel.Arrive(scripted->second);
            } else {
                rig_.channel.Arrive(packet->cmd == kCmdVersion ? OkFrame(version) : OkFrame());
            }
            return;
        }
        const std::string text(bytes.begin(), bytes.end());
        written_.push_back({now, text, 0, {}});
        if (text == "READ TUSN" && tusn) {
            rig_.channel.Arrive(ToBytes(*tusn));
        } else if ((text == "GOTO FASTBOOT" || text == "CHECK SP") && answer_okay) {
            rig_.channel.Arrive(ToBytes("OKAY"));
            app_mode = false;
        }
    }

    SessionRig& rig_;
    std::map<std::pair<uint32_t, int>, Bytes> answers_;
    std::map<uint32_t, int> counts_;
    std::vector<Written> written_;
};

// An image of the given length whose header carries the load address.
std::vector<uint8_t> MakeImage(size_t length, uint8_t seed) {
    std::vector<uint8_t> image(length);
    for (size_t i = 0; i < length; ++i) {
        image[i] = static_cast<uint8_t>(seed + i * 7);
    }
    if (length >= 376) {
        PutU32(image.data() + 372, kLoadAddress);
    }
    return image;
}

// A file of a set; its bytes live as long as the test program.
PlanFile MakeFile(const std::string& name, size_t size) {
    static std::deque<Bytes> kept;
    return {name, kept.emplace_back(size, 0x5A)};
}

std::string PayloadText(const Written& w) {
    const auto end = std::find(w.payload.begin(), w.payload.end(), 0);
    return std::string(w.payload.begin(), end);
}

class MainProcessTest : public ::testing::Test {
protected:
    void UseImages(size_t main_length, size_t second_length = 0) {
        rig.plan.b_downloadApp = 1;
        rig.plan.mainImage = rig.Keep(MakeImage(main_length, 1));
        rig.plan.imageCount = 1;
        if (second_length != 0) {
            rig.plan.secondImage = rig.Keep(MakeImage(second_length, 2));
            rig.plan.imageCount = 2;
        }
    }

    void UseTusnCheck(const std::string& device_type, const std::string& customer_id) {
        rig.plan.identity.b_checkTUSN = 1;
        std::copy(device_type.begin(), device_type.end(), rig.plan.identity.deviceType.begin());
        std::copy(customer_id.begin(), customer_id.end(), rig.plan.identity.customerId.begin());
    }

    std::vector<std::string> Results() const { return rig.view.Log("SetResult"); }
    std::string LastResult() const {
        const std::vector<std::string> results = Results();
        return results.empty() ? std::string() : results.back();
    }

    void Run() { RunSession(rig.session); }

    SessionRig rig;
    ScriptedTerminal terminal{rig};
};

using Sequence = std::vector<std::string>;

// ---- identification ----

struct VersionCase {
    const char* name;
    const char* version;
    Sequence sequence;
    const char* result;
};

TEST_F(MainProcessTest, VersionAnswerDecidesBetweenFailureAndDownload) {
    const VersionCase cases[] = {
        {"three parts", "BOOT\r\nQV41C\r\nV2.07", {"5", "48"}, "SetResult 7 1 - PASS"},
        {"empty third part", "BOOT\r\nQV41C\r\n", {"5", "48"}, "SetResult 7 1 - PASS"},
        {"two parts", "BOOT\r\nQV41C", {"5"}, "SetResult 7 0 5 Get fwversion failed"},
        {"no separator", "V2.07", {"5"}, "SetResult 7 0 5 Get fwversion failed"},
        {"no data", "", {"5"}, "SetResult 7 0 5 Get fwversion failed"},
    };
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig local;
        ScriptedTerminal term(local);
        term.version = c.version;
        RunSession(local.session);
        EXPECT_EQ(term.Sequence(), c.sequence);
        const std::vector<std::string> results = local.view.Log("SetResult");
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0], c.result);
    }
}

TEST_F(MainProcessTest, LoaderVersionGoesToTheStepTextAndSkipsThePlainTextCommands) {
    const uint32_t start = rig.clock.Now();
    Run();
    ASSERT_FALSE(terminal.Writes().empty());
    EXPECT_EQ(terminal.Writes()[0].at - start, 1000u) << "the session settles for 1000 ms first";
    EXPECT_EQ(rig.view.Log("SetStepText"), Sequence({"SetStepText 7 V2.07"}));
    EXPECT_EQ(PayloadText(*terminal.Find("48")), "0");
    EXPECT_EQ(terminal.Find("GOTO FASTBOOT"), nullptr);
}

TEST_F(MainProcessTest, RunningApplicationIsSentIntoItsLoaderThenCommand48After100ms) {
    terminal.app_mode = true;
    Run();
    EXPECT_EQ(terminal.Sequence(), Sequence({"5", "GOTO FASTBOOT", "48"}));
    const Written& version = *terminal.Find("5");
    const Written& fastboot = *terminal.Find("GOTO FASTBOOT");
    const Written& open = *terminal.Find("48");
    // The version request is given up after its 5000 ms; "OKAY" arrives as it is written.
    EXPECT_GT(fastboot.at - version.at, 5000u + 100u - 1);
    EXPECT_LT(fastboot.at - version.at, 5000u + 100u + 50u);
    EXPECT_EQ(open.at - fastboot.at, 100u);
    EXPECT_EQ(Results(), Sequence({"SetResult 7 0 - Time out", "SetResult 7 1 - PASS"}));
}

TEST_F(MainProcessTest, LoaderThatNeverSaysOkayFailsWithCode600) {
    terminal.app_mode = true;
    terminal.answer_okay = false;
    Run();
    EXPECT_EQ(terminal.Sequence(), Sequence({"5", "GOTO FASTBOOT"}));
    EXPECT_EQ(LastResult(), "SetResult 7 0 600 Time out");
}

TEST_F(MainProcessTest, ChannelThatRefusesWritesReportsThePortLost) {
    rig.channel.FailWrites(true);
    Run();
    EXPECT_TRUE(terminal.Writes().empty());
    EXPECT_EQ(Results(), Sequence({"SetResult 7 0 - Port lost", "SetResult 7 0 600 Port lost"}));
}

TEST_F(MainProcessTest, TerminalThatTakesNoDataReportsAWriteTimeOut) {
    rig.channel.StallWrites();
    Run();
    EXPECT_TRUE(terminal.Writes().empty());
    EXPECT_EQ(Results(), Sequence({"SetResult 7 0 - Write time out", "SetResult 7 0 600 Write time out"}));
}

struct TusnCase {
    const char* name;
    std::optional<std::string> reply;
    Sequence sequence;
    const char* result;
};

TEST_F(MainProcessTest, TusnCheckDecidesWhetherTheTerminalIsSentIntoItsLoader) {
    const TusnCase cases[] = {
        {"20 characters matching", "00005012QVABCxxxxxxx", {"5", "READ TUSN", "GOTO FASTBOOT", "48"},
         "SetResult 7 1 - PASS"},
        {"26 characters matching", "00005012000000QVABCxxxxxxx", {"5", "READ TUSN", "GOTO FASTBOOT", "48"},
         "SetResult 7 1 - PASS"},
        {"device type differs", "00005012QWABCxxxxxxx", {"5", "READ TUSN"},
         "SetResult 7 0 600 20 COMPARE DEVICETYPE ERROR"},
        {"customer id differs", "00005012QVABDxxxxxxx", {"5", "READ TUSN"},
         "SetResult 7 0 600 20 COMPARE CUSTOMERID ERROR"},
        {"26 characters, customer id differs", "00005012000000QVABDxxxxxxx", {"5", "READ TUSN"},
         "SetResult 7 0 600 26 COMPARE CUSTOMERID ERROR:ABD"},
        {"21 characters", "00005012QVABCxxxxxxxx", {"5", "READ TUSN"}, "SetResult 7 0 600 DEVICE TUSN LENGTH ERROR:"},
        {"not a TUSN", "00005112QVABCxxxxxxx", {"5", "READ TUSN"}, "SetResult 7 0 600 READ TUSN ERROR"},
        {"no reply", std::nullopt, {"5", "READ TUSN"}, "SetResult 7 0 600 READ TUSN ERROR"},
    };
    for (const TusnCase& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig local;
        ScriptedTerminal term(local);
        term.app_mode = true;
        term.tusn = c.reply;
        std::copy_n("QV", 2, local.plan.identity.deviceType.begin());
        std::copy_n("ABC", 3, local.plan.identity.customerId.begin());
        local.plan.identity.b_checkTUSN = 1;
        RunSession(local.session);
        EXPECT_EQ(term.Sequence(), c.sequence);
        const std::vector<std::string> results = local.view.Log("SetResult");
        ASSERT_EQ(results.size(), 2u);
        EXPECT_EQ(results[0], "SetResult 7 0 - Time out");
        EXPECT_EQ(results[1], c.result);
    }
}

TEST_F(MainProcessTest, TusnIsNotReadWhenTheCheckIsOff) {
    terminal.app_mode = true;
    terminal.tusn = "00005012QWABCxxxxxxx";
    Run();
    EXPECT_EQ(terminal.Find("READ TUSN"), nullptr);
    EXPECT_EQ(LastResult(), "SetResult 7 1 - PASS");
}

// ---- application images ----

TEST_F(MainProcessTest, ImagesGoOneAfterTheOtherWithTheirSteps) {
    UseImages(1537, 400);
    Run();
    EXPECT_EQ(terminal.Sequence(), Sequence({"5", "48", "0*7"}));
    EXPECT_EQ(rig.view.Log("SetStep"), Sequence({"SetStep 7 2 1 1537", "SetStep 7 3 1 400"}));
    const Written& second_chunk = *terminal.Find("0", 2);
    EXPECT_EQ(LoadU32(second_chunk.payload.data()), kLoadAddress + 1536);
    EXPECT_EQ(LoadU32(second_chunk.payload.data() + 4), 1u);
    EXPECT_EQ(LastResult(), "SetResult 7 1 - PASS");
}

TEST_F(MainProcessTest, ImagesAreSkippedWhenDownloadAppIsOffOrNoImageIsHeld) {
    UseImages(400);
    rig.plan.b_downloadApp = 0;
    Run();
    EXPECT_EQ(terminal.Sequence(), Sequence({"5", "48"}));

    SessionRig local;
    ScriptedTerminal term(local);
    local.plan.b_downloadApp = 1;
    local.plan.imageCount = 0;
    RunSession(local.session);
    EXPECT_EQ(term.Sequence(), Sequence({"5", "48"}));
}

TEST_F(MainProcessTest, RunningApplicationAnswerToTheMainImageResetsTheTerminalWithoutPass) {
    UseImages(400, 400);
    terminal.Answer(kCmdImage, 1, RemoteErrorFrame("APP is Running"));
    Run();
    EXPECT_EQ(terminal.Sequence(), Sequence({"5", "48", "0*2", "2", "25"}));
    EXPECT_EQ(PayloadText(*terminal.Find("2")), "0");
    EXPECT_EQ(PayloadText(*terminal.Find("25")), "0");
    EXPECT_EQ(Results(), Sequence({"SetResult 7 0 6000 remote: APP is Running",
                                   "SetResult 7 0 - App is running, reset."}));
}

TEST_F(MainProcessTest, ResetAfterRunningApplicationReportsItsOwnFailures) {
    UseImages(400);
    terminal.Answer(kCmdImage, 0, RemoteErrorFrame("APP is Running, v3"));
    terminal.Answer(kCmdReset, 0, RemoteErrorFrame("busy"));
    Run();
    EXPECT_EQ(terminal.Sequence(), Sequence({"5", "48", "0", "2", "25"}));
    EXPECT_EQ(LastResult(), "SetResult 7 0 25 remote: busy");
}

TEST_F(MainProcessTest, OtherImageFailuresEndWithTheImageCode) {
    struct Case {
        const char* name;
        int packet;  // which command-0 packet fails
        Bytes answer;
        const char* result;
    };
    const Case cases[] = {
        {"second image running", 3, RemoteErrorFrame("APP is Running"),
         "SetResult 7 0 6001 remote: APP is Running"},
        {"main image refused", 1, RemoteErrorFrame("bad signature"), "SetResult 7 0 6000 remote: bad signature"},
        {"text only resembling", 0, RemoteErrorFrame("not APP is Running"),
         "SetResult 7 0 6000 remote: not APP is Running"},
        {"main image silence", 2, Bytes{}, "SetResult 7 0 6000 Time out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig local;
        ScriptedTerminal term(local);
        local.plan.b_downloadApp = 1;
        local.plan.imageCount = 2;
        local.plan.mainImage = local.Keep(MakeImage(400, 1));
        local.plan.secondImage = local.Keep(MakeImage(400, 2));
        term.Answer(kCmdImage, c.packet, c.answer);
        RunSession(local.session);
        EXPECT_EQ(term.Find("2"), nullptr);
        EXPECT_EQ(term.Find("25"), nullptr);
        EXPECT_EQ(term.Writes().back().what, "0") << "nothing follows the failed packet";
        const std::vector<std::string> results = local.view.Log("SetResult");
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0], c.result);
    }
}

TEST_F(MainProcessTest, ImageLengthNeverExceedsTheLoadedBytes) {
    UseImages(400);
    Run();
    EXPECT_EQ(rig.view.Log("SetStep"), Sequence({"SetStep 7 2 1 400"}));
    EXPECT_EQ(LoadU32(terminal.Find("0", 0)->payload.data() + 4), 400u);
}

// ---- logo, file system, audio ----

TEST_F(MainProcessTest, EveryConfiguredStepRunsInItsOrder) {
    UseImages(400);
    rig.plan.b_downloadLogo = 1;
    rig.plan.logoBlock = rig.Keep(std::vector<uint8_t>(36, 0x11));
    rig.plan.b_fileDownload = 1;
    rig.plan.b_fsConfig = 1;
    rig.plan.fsType = 1;
    rig.plan.fsDMA = 2;
    rig.plan.fsBaud = 3;
    rig.plan.partitions[0].b_fsPartInit = 1;
    rig.plan.partitions[0].fsPartDrive = "C";
    rig.plan.partitions[0].fsPartAddress = 0x100;
    rig.plan.partitions[1].b_fsPartInit = 1;
    rig.plan.partitions[1].fsPartDrive = "D";
    rig.plan.partitions[1].fsPartAddress = 0x200;
    rig.plan.fileSets[0].b_filePush = 1;
    rig.plan.fileSets[0].targetPath = "C:/res";
    rig.plan.fileSets[0].files = {MakeFile("a.bin", 1025), MakeFile("b.bin", 0)};
    rig.plan.b_downloadAMR = 1;
    rig.plan.amrData = rig.Keep(std::vector<uint8_t>(10, 0x22));
    rig.plan.b_autoRun = 1;
    rig.plan.b_secureBoot = 1;
    rig.plan.b_runApp = 1;
    rig.plan.b_checkSP = 1;
    Run();
    EXPECT_EQ(terminal.Sequence(), Sequence({"5", "48", "0*3", "11*3", "43", "36", "35*2", "40", "37*6", "44*3", "2",
                                             "33", "1", "CHECK SP"}));
    EXPECT_EQ(rig.view.Log("SetStep"),
              Sequence({"SetStep 7 2 1 400", "SetStep 7 4 1 36", "SetStep 7 5 1 100", "SetStep 7 6 1 1025",
                        "SetStep 7 6 1 0", "SetStep 7 7 1 10", "SetStep 7 0 0 0"}));
    EXPECT_EQ(PayloadText(*terminal.Find("2")), "1");
    EXPECT_EQ(PayloadText(*terminal.Find("35", 0)), "C:");
    EXPECT_EQ(PayloadText(*terminal.Find("35", 1)), "D:");
    EXPECT_EQ(LoadU32(terminal.Find("35", 1)->payload.data() + 4), 0x200u);
    EXPECT_EQ(PayloadText(*terminal.Find("40")), "C:/res");
    EXPECT_EQ(PayloadText(*terminal.Find("37", 0)), "C:/res/a.bin");
    EXPECT_EQ(PayloadText(*terminal.Find("37", 4)), "C:/res/b.bin");
    const Written& fs_config = *terminal.Find("43");
    EXPECT_EQ(LoadU32(fs_config.payload.data()), 1u);
    EXPECT_EQ(LoadU32(fs_config.payload.data() + 8), 3u);
    // The partitions' progress reaches 100 before the first file.
    const std::vector<std::string> log = rig.view.Log();
    const auto hundred = std::find(log.begin(), log.end(), "SetProgress 7 100");
    const auto first_file = std::find(log.begin(), log.end(), "SetStep 7 6 1 1025");
    EXPECT_LT(hundred, first_file);
    EXPECT_EQ(LastResult(), "SetResult 7 1 - PASS");
}

struct TargetCase {
    const char* name;
    std::string target;
    std::vector<PlanFile> files;
    Sequence sequence;
    std::string first_file_target;
};

TEST_F(MainProcessTest, TargetPathWithExactlyOneSlashIsPreparedFirst) {
    const TargetCase cases[] = {
        {"drive only", "C:", {MakeFile("x", 1)}, {"5", "48", "36", "37*3"}, "C:/x"},
        {"drive and directory", "C:/d", {MakeFile("x", 1)}, {"5", "48", "36", "40", "37*3"}, "C:/d/x"},
        {"two directories", "C:/d/e", {MakeFile("x", 1)}, {"5", "48", "36", "37*3"}, "C:/d/e/x"},
        {"empty list", "C:/d", {}, {"5", "48", "36", "40"}, ""},
        {"empty list, no directory", "C:", {}, {"5", "48", "36"}, ""},
    };
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig local;
        ScriptedTerminal term(local);
        local.plan.b_fileDownload = 1;
        local.plan.fileSets[2].b_filePush = 1;
        local.plan.fileSets[2].targetPath = c.target;
        local.plan.fileSets[2].files = c.files;
        RunSession(local.session);
        EXPECT_EQ(term.Sequence(), c.sequence);
        if (!c.first_file_target.empty()) {
            EXPECT_EQ(PayloadText(*term.Find("37")), c.first_file_target);
        }
        EXPECT_EQ(local.view.Log("SetResult").back(), "SetResult 7 1 - PASS");
    }
}

TEST_F(MainProcessTest, FileFailuresCarryTheirListsCode) {
    struct Case {
        int list;
        const char* result;
    };
    const Case cases[] = {{1, "SetResult 7 0 6 remote: full"},
                          {2, "SetResult 7 0 40 remote: full"},
                          {3, "SetResult 7 0 6 remote: full"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        SessionRig local;
        ScriptedTerminal term(local);
        local.plan.b_fileDownload = 1;
        PlanFileSet& set = local.plan.fileSets[static_cast<size_t>(c.list - 1)];
        set.b_filePush = 1;
        set.targetPath = "E:";
        set.files = {MakeFile("f", 2)};
        term.Answer(kCmdFile, 1, RemoteErrorFrame("full"));
        RunSession(local.session);
        EXPECT_EQ(local.view.Log("SetResult"), Sequence({c.result}));
    }
}

TEST_F(MainProcessTest, FileTargetOf256BytesIsRefusedBeforeItIsSent) {
    // A file name holds at most 127 bytes, so the long targets come from long directories.
    struct Case {
        size_t directory_length;
        bool fits;
    };
    const Case cases[] = {{127, true}, {128, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory_length);
        SessionRig local;
        ScriptedTerminal term(local);
        local.plan.b_fileDownload = 1;
        local.plan.fileSets[1].b_filePush = 1;
        local.plan.fileSets[1].targetPath = "C:/" + std::string(c.directory_length - 3, 'd');
        local.plan.fileSets[1].files = {MakeFile(std::string(127, 'n'), 1)};
        RunSession(local.session);
        const std::string result = local.view.Log("SetResult").back();
        if (c.fits) {
            EXPECT_EQ(PayloadText(*term.Find("37")).size(), 255u);
            EXPECT_EQ(result, "SetResult 7 1 - PASS");
        } else {
            EXPECT_EQ(term.Sequence(), Sequence({"5", "48", "36", "40"}));
            EXPECT_EQ(result.rfind("SetResult 7 0 40 Target path too long (256 bytes, at most 255): C:/ddd", 0), 0u)
                << result;
        }
    }
}

TEST_F(MainProcessTest, FileSystemFailuresEndTheSessionWithTheirCodes) {
    struct Case {
        uint32_t cmd;
        int n;
        const char* result;
    };
    const Case cases[] = {
        {kCmdFsConfig, 0, "SetResult 7 0 - remote: no"},
        {kCmdErase, 0, "SetResult 7 0 5 remote: no"},
        {kCmdPartitionInit, 1, "SetResult 7 0 35 remote: no"},
        {kCmdMakeDir, 0, "SetResult 7 0 40 remote: no"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cmd);
        SessionRig local;
        ScriptedTerminal term(local);
        local.plan.b_fileDownload = 1;
        local.plan.b_fsConfig = 1;
        local.plan.partitions[0].b_fsPartInit = 1;
        local.plan.partitions[1].b_fsPartInit = 1;
        local.plan.fileSets[0].b_filePush = 1;
        local.plan.fileSets[0].targetPath = "C:/d";
        local.plan.fileSets[0].files = {MakeFile("f", 1)};
        term.Answer(c.cmd, c.n, RemoteErrorFrame("no"));
        RunSession(local.session);
        EXPECT_EQ(local.view.Log("SetResult"), Sequence({c.result}));
        EXPECT_EQ(term.Writes().back().what, std::to_string(c.cmd));
    }
}

TEST_F(MainProcessTest, LogoAndAudioFailuresCarryTheirCodes) {
    rig.plan.b_downloadLogo = 1;
    rig.plan.logoBlock = rig.Keep(std::vector<uint8_t>(30, 1));
    terminal.Answer(kCmdLogo, 1, RemoteErrorFrame("lcd"));
    Run();
    EXPECT_EQ(Results(), Sequence({"SetResult 7 0 4 remote: lcd"}));

    SessionRig local;
    ScriptedTerminal term(local);
    local.plan.b_downloadAMR = 1;
    local.plan.amrData = local.Keep(std::vector<uint8_t>(30, 1));
    term.Answer(kCmdAmr, 2, RemoteErrorFrame("amr"));
    RunSession(local.session);
    EXPECT_EQ(local.view.Log("SetResult"), Sequence({"SetResult 7 0 7 remote: amr"}));
}

// ---- settings and finish ----

TEST_F(MainProcessTest, SecureBootIsEnabledOnlyWhenTheTerminalSaysItIsDisabled) {
    struct Case {
        const char* answer;
        Sequence sequence;
    };
    const Case cases[] = {
        {"Secure boot disable!", {"5", "48", "33", "31"}},
        {"state: Secure boot disable!!", {"5", "48", "33", "31"}},
        {"Secure boot enable!", {"5", "48", "33"}},
        {"", {"5", "48", "33"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        SessionRig local;
        ScriptedTerminal term(local);
        local.plan.b_secureBoot = 1;
        term.Answer(kCmdSecureBootQuery, 0, OkFrame(c.answer));
        RunSession(local.session);
        EXPECT_EQ(term.Sequence(), c.sequence);
        EXPECT_EQ(term.Find("33")->payload, Bytes(16, 0));
        EXPECT_EQ(local.view.Log("SetResult").back(), "SetResult 7 1 - PASS");
    }
}

TEST_F(MainProcessTest, RunAppAnsweredWithRunningApplicationCarriesOnToPass) {
    rig.plan.b_runApp = 1;
    rig.plan.b_checkSP = 1;
    terminal.Answer(kCmdRunApp, 0, RemoteErrorFrame("APP is Running"));
    Run();
    EXPECT_EQ(terminal.Sequence(), Sequence({"5", "48", "1", "CHECK SP"}));
    EXPECT_EQ(Results(), Sequence({"SetResult 7 0 1 remote: APP is Running", "SetResult 7 1 - PASS"}));

    SessionRig local;
    ScriptedTerminal term(local);
    local.plan.b_runApp = 1;
    local.plan.b_checkSP = 1;
    term.Answer(kCmdRunApp, 0, RemoteErrorFrame("no app"));
    RunSession(local.session);
    EXPECT_EQ(term.Sequence(), Sequence({"5", "48", "1"}));
    EXPECT_EQ(local.view.Log("SetResult"), Sequence({"SetResult 7 0 1 remote: no app"}));
}

TEST_F(MainProcessTest, CheckSpWaits5000msAfterTheWaitingStep) {
    rig.plan.b_checkSP = 1;
    Run();
    const Written& open = *terminal.Find("48");
    const Written& check = *terminal.Find("CHECK SP");
    EXPECT_EQ(check.at - open.at, 5000u);
    EXPECT_EQ(LastResult(), "SetResult 7 1 - PASS");

    SessionRig local;
    ScriptedTerminal term(local);
    local.plan.b_checkSP = 1;
    term.answer_okay = false;
    RunSession(local.session);
    EXPECT_EQ(local.view.Log("SetResult"), Sequence({"SetResult 7 0 600 Time out"}));
}

// ---- stop ----

// Forwards to the recording view and runs a hook on the waiting step (before CHECK SP).
class HookedView final : public IPortView {
public:
    HookedView(RecordingPortView& inner, std::function<void()> on_waiting)
        : inner_(inner), on_waiting_(std::move(on_waiting)) {}
    int AddRow(int nPort) override { return inner_.AddRow(nPort); }
    int SetStep(int nPort, int nStep, int bShowProgress, uint32_t nTotal) override {
        if (nStep == kStepWaiting) {
            on_waiting_();
        }
        return inner_.SetStep(nPort, nStep, bShowProgress, nTotal);
    }
    int SetStepText(int nPort, const std::string& text) override { return inner_.SetStepText(nPort, text); }
    int SetProgress(int nPort, uint32_t nDone) override { return inner_.SetProgress(nPort, nDone); }
    int SetResult(int nPort, int bSuccess, const int* pCmd, const std::string& msg) override {
        return inner_.SetResult(nPort, bSuccess, pCmd, msg);
    }
    int RemoveAll() override { return inner_.RemoveAll(); }

private:
    RecordingPortView& inner_;
    std::function<void()> on_waiting_;
};

// A clock that stops the session after a number of pauses once armed.
class StoppingClock final : public Clock {
public:
    StoppingClock(FakeClock& inner, std::function<void()> stop) : inner_(inner), stop_(std::move(stop)) {}
    void Arm(int pauses) { remaining_ = pauses; }
    uint32_t Now() override { return inner_.Now(); }
    void Pause(uint32_t ms) override {
        inner_.Pause(ms);
        if (remaining_ > 0 && --remaining_ == 0) {
            stop_();
        }
    }

private:
    FakeClock& inner_;
    std::function<void()> stop_;
    int remaining_ = 0;
};

TEST_F(MainProcessTest, StopDuringTheCheckSpPauseEndsItAtOnce) {
    const std::pair<const char*, std::function<void(SessionRig&)>> stops[] = {
        {"session stop flag", [](SessionRig& r) { r.stop = true; }},
        {"run stopped", [](SessionRig& r) { r.running = 0; }},
    };
    for (const auto& [name, stop_rule] : stops) {
        const auto& stop = stop_rule;
        SCOPED_TRACE(name);
        SessionRig local;
        ScriptedTerminal term(local);
        local.plan.b_checkSP = 1;
        StoppingClock clock(local.clock, [&] { stop(local); });
        uint32_t waiting_at = 0;
        HookedView view(local.view, [&] {
            waiting_at = local.clock.Now();
            clock.Arm(3);
        });
        local.session.clock = &clock;
        local.session.view = &view;
        RunSession(local.session);
        EXPECT_LE(local.clock.Now() - waiting_at, 50u) << "the pause ends within a slice of the stop";
        EXPECT_EQ(term.Find("CHECK SP"), nullptr);
        EXPECT_EQ(local.view.Log("SetResult"), Sequence({"SetResult 7 0 600 Stopped"}));
    }
}

TEST_F(MainProcessTest, StopBeforeIdentificationSendsNothing) {
    StoppingClock clock(rig.clock, [&] { rig.stop = true; });
    clock.Arm(2);
    rig.session.clock = &clock;
    const uint32_t start = rig.clock.Now();
    Run();
    EXPECT_LT(rig.clock.Now() - start, 100u);
    EXPECT_TRUE(terminal.Writes().empty());
    EXPECT_EQ(Results(), Sequence({"SetResult 7 0 - Stopped"}));
}

TEST_F(MainProcessTest, StopDuringAnImageEndsAsStoppedWithTheImageCode) {
    UseImages(5000);
    int image_packets = 0;
    rig.channel.OnWrite([&](std::span<const uint8_t> bytes) {
        const std::optional<DecodedPacket> packet = DecodeCommandFrame(bytes);
        // The second data packet gets no answer; the operator stops while it is awaited.
        if (packet && packet->cmd == kCmdImage && ++image_packets == 3) {
            rig.channel.OnIdle([&] { rig.stop = true; });
            return;
        }
        rig.channel.Arrive(packet && packet->cmd == kCmdVersion ? OkFrame("a\r\nb\r\nc") : OkFrame());
    });
    Run();
    EXPECT_EQ(Results(), Sequence({"SetResult 7 0 6000 Stopped"}));
    EXPECT_EQ(rig.channel.Writes().size(), 5u) << "5, 48, start and two data packets; nothing after the stop";
}

// ---- what the session tells its record keepers ----

TEST_F(MainProcessTest, SessionEventsTellStepsPacketsTextsIdentityAndResults) {
    const std::string tusn = "00005012QVABCxxxxxxx";
    struct Case {
        const char* name;
        std::function<void(SessionRig&, ScriptedTerminal&)> arrange;
        Sequence events;
    };
    const Case cases[] = {
        {"loader, one image",
         [](SessionRig& r, ScriptedTerminal&) {
             r.plan.b_downloadApp = 1;
             r.plan.mainImage = r.Keep(MakeImage(2000, 1));
             r.plan.imageCount = 1;
         },
         {"packet 7 5 0 0 OK", "version 7 BOOT | QV41C | V2.07", "packet 7 48 1 0 OK", "step 7 2 2000",
          "packet 7 0 8 0 OK", "packet 7 0 1544 1 OK", "packet 7 0 472 2 OK", "packet 7 0 8 3 OK", "image 7 2000",
          "result 7 passed - PASS"}},
        {"application, TUSN checked, then the loader",
         [&tusn](SessionRig& r, ScriptedTerminal& term) {
             term.app_mode = true;
             term.tusn = tusn;
             r.plan.identity.b_checkTUSN = 1;
             r.plan.identity.deviceType[0] = 'Q';
             r.plan.identity.deviceType[1] = 'V';
             std::copy_n("ABC", 3, r.plan.identity.customerId.begin());
         },
         {"packet 7 5 0 0 Time out", "result 7 failed - Time out interim", "text 7 READ TUSN -> " + tusn,
          "tusn 7 " + tusn, "text 7 GOTO FASTBOOT -> OKAY", "packet 7 48 1 0 OK", "result 7 passed - PASS"}},
        {"application whose loader never says OKAY",
         [](SessionRig&, ScriptedTerminal& term) {
             term.app_mode = true;
             term.answer_okay = false;
         },
         {"packet 7 5 0 0 Time out", "result 7 failed - Time out interim", "text 7 GOTO FASTBOOT -> Time out",
          "result 7 failed 600 Time out"}},
        {"remote error in the middle of the logo",
         [](SessionRig& r, ScriptedTerminal& term) {
             r.plan.b_downloadLogo = 1;
             r.plan.logoBlock = r.Keep(std::vector<uint8_t>(100, 0x11));
             term.Answer(kCmdLogo, 1, RemoteErrorFrame("flash busy"));
         },
         {"packet 7 5 0 0 OK", "version 7 BOOT | QV41C | V2.07", "packet 7 48 1 0 OK", "step 7 4 100",
          "packet 7 11 8 0 OK", "packet 7 11 108 1 remote: flash busy", "result 7 failed 4 remote: flash busy"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig local;
        ScriptedTerminal term(local);
        c.arrange(local, term);
        RecordingSessionEvents events;
        local.session.events = &events;
        RunSession(local.session);
        EXPECT_EQ(events.Take(), c.events);
    }
}

TEST_F(MainProcessTest, MainProcessRunsTheSessionOnTheRecordAndMarksItFinished) {
    const RunContext run{&rig.plan, &rig.view, nullptr, &rig.running};
    _THREAD_PARA_T para;
    para.pRun = &run;
    para.nPort = 9;
    para.pChannel = rig.channel.Channel();
    para.bStop = true;  // keeps the system clock's 1000 ms pause from running
    EXPECT_EQ(MainProcess(&para), 0);
    EXPECT_TRUE(para.bFinished.load());
    EXPECT_TRUE(terminal.Writes().empty());
    EXPECT_EQ(Results(), Sequence({"SetResult 9 0 - Stopped"}));
}

struct SessionEndCase {
    const char* name;
    void (*arrange)(SessionRig&, ScriptedTerminal&, _THREAD_PARA_T&);
    const char* result;
    bool channelOpenAfter;
};

// A session whose terminal's device failed closes its channel as it ends, so the port is free
// for the terminal when it comes back; every other ending leaves the channel to run control.
TEST_F(MainProcessTest, OnlyASessionThatLostItsPortClosesTheChannelAsItEnds) {
    const SessionEndCase cases[] = {
        {"passed", [](SessionRig&, ScriptedTerminal&, _THREAD_PARA_T&) {}, "SetResult 9 1 - PASS", true},
        {"writes fail", [](SessionRig& r, ScriptedTerminal&, _THREAD_PARA_T&) { r.channel.FailWrites(true); },
         "SetResult 9 0 600 Port lost", false},
        {"reads fail", [](SessionRig& r, ScriptedTerminal&, _THREAD_PARA_T&) { r.channel.FailReads(true); },
         "SetResult 9 0 600 Port lost", false},
        {"write time out", [](SessionRig& r, ScriptedTerminal&, _THREAD_PARA_T&) { r.channel.StallWrites(); },
         "SetResult 9 0 600 Write time out", true},
        {"no answer",
         [](SessionRig&, ScriptedTerminal& t, _THREAD_PARA_T&) {
             t.app_mode = true;
             t.answer_okay = false;
         },
         "SetResult 9 0 600 Time out", true},
        {"stopped", [](SessionRig&, ScriptedTerminal&, _THREAD_PARA_T& para) { para.bStop = true; },
         "SetResult 9 0 - Stopped", true},
    };
    for (const SessionEndCase& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig local;
        ScriptedTerminal term(local);
        IChannel* channel = local.channel.Channel();
        const ChannelConfig config{0, 9, 115200};
        ASSERT_EQ(channel->vtbl->Open(channel, &config), 1);
        const RunContext run{&local.plan, &local.view, nullptr, &local.running, &local.clock};
        _THREAD_PARA_T para;
        para.pRun = &run;
        para.nPort = 9;
        para.pChannel = channel;
        c.arrange(local, term, para);
        EXPECT_EQ(MainProcess(&para), 0);
        EXPECT_TRUE(para.bFinished.load());
        const std::vector<std::string> results = local.view.Log("SetResult");
        ASSERT_FALSE(results.empty());
        EXPECT_EQ(results.back(), c.result);
        EXPECT_EQ(channel->vtbl->IsOpen(channel) != 0, c.channelOpenAfter);
    }
}

}  // namespace
}  // namespace korvane::testing
