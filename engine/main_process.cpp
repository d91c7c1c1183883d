// The port session: identification, the way from the terminal's application into its
// loader, every configured download in a fixed order, the final settings and the result.
#include "engine/main_process.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/identity.h"
#include "engine/packet.h"
#include "engine/response_reader.h"
#include "engine/transfer.h"
#include "platform/trace.h"

namespace korvane {
namespace {

// Pauses of the session, in ms.
constexpr uint32_t kSettleBeforeIdentifyMs = 1000;
constexpr uint32_t kPlainTextGapMs = 100;
constexpr uint32_t kCheckSpDelayMs = 5000;
// Sleeps are cut into slices so that a stop is noticed at once.
constexpr uint32_t kSleepSliceMs = 10;
constexpr uint32_t kIdentifyTimeoutMs = 5000;

// Command codes reported with failures that are not a packet's own command.
constexpr int kCodeVersion = 5;
constexpr int kCodePlainText = 600;
constexpr int kCodeMainImage = 6000;
constexpr int kCodeSecondImage = 6001;
constexpr int kCodeLogo = 4;
constexpr int kCodeErase = 5;
constexpr int kCodeFile = 6;
constexpr int kCodeAmr = 7;

constexpr std::string_view kReadTusn = "READ TUSN";
constexpr std::string_view kGotoFastboot = "GOTO FASTBOOT";
constexpr std::string_view kCheckSp = "CHECK SP";
constexpr std::string_view kAppIsRunning = "APP is Running";
constexpr std::string_view kSecureBootDisabled = "Secure boot disable!";
constexpr size_t kRemotePrefixLength = 8;  // "remote: "

std::vector<std::string_view> SplitAtCrLf(std::string_view text) {
    std::vector<std::string_view> parts;
    for (size_t from = 0;;) {
        const size_t at = text.find("\r\n", from);
        parts.push_back(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos) {
            return parts;
        }
        from = at + 2;
    }
}

size_t CountSlashes(std::string_view path) {
    return static_cast<size_t>(std::count(path.begin(), path.end(), '/'));
}

class SessionDriver {
public:
    explicit SessionDriver(Session& s) : s_(s), plan_(*s.plan) {}

    SessionEnd Run() {
        if (!Identify() || !OpenDownload() || !DownloadImages() || !DownloadLogo() || !DownloadFileSystem() ||
            !DownloadAudio() || !ApplySettings()) {
            return end_;
        }
        s_.Events().Result(Port(), true, nullptr, "PASS", false);
        s_.view->SetResult(Port(), 1, nullptr, "PASS");
        return SessionEnd::kPassed;
    }

private:
    int Port() const { return static_cast<int>(s_.nPort); }
    std::string_view Message() const { return BufferText(message_); }

    // The answer's data as text: up to its length or its first NUL.
    std::string_view DataText() const {
        return BufferText(std::span<const uint8_t>(data_.data(), std::min<size_t>(dataLength_, data_.size())));
    }

    // "remote: APP is Running": the terminal's application already runs.
    bool AppIsRunning() const {
        const std::string_view message = Message();
        return message.size() > kRemotePrefixLength && message.substr(kRemotePrefixLength).starts_with(kAppIsRunning);
    }

    void ClearReplyBuffers() {
        data_.fill(0);
        message_.fill(0);
        dataLength_ = 0;
    }

    // Reports the failure of a step; code null when the step reports none. An interim
    // failure is followed by more of the session.
    // A session cut short by Stop or an unplug says so rather than name the exchange
    // that the stop broke off.
    void Fail(const int* code, bool interim = false) {
        const std::string_view message = s_.Running() ? Message() : std::string_view(kStoppedMessage);
        if (!interim) {
            end_ = message == kMsgPortLost ? SessionEnd::kPortLost : SessionEnd::kFailed;
        }
        s_.Events().Result(Port(), false, code, message, interim);
        s_.view->SetResult(Port(), 0, code, std::string(message));
    }
    void Fail(int code) { Fail(&code); }

    void Step(int step, int bShowProgress, uint32_t total) {
        s_.Events().Step(Port(), step, total);
        s_.view->SetStep(Port(), step, bShowProgress, total);
    }

    // Tells the record keepers how a plain-text command was answered.
    void ReportPlainText(std::string_view sent, bool answered, std::string_view answer) {
        const std::string_view reason = Message().empty() ? std::string_view("stopped") : Message();
        s_.Events().PlainText(Port(), sent, answered ? answer : reason);
    }

    // Pauses for ms in short slices; ends early when the session is stopped, and then the
    // next exchange fails at once.
    void Sleep(uint32_t ms) {
        const uint32_t start = s_.clock->Now();
        while (s_.Running()) {
            const uint32_t elapsed = s_.clock->Now() - start;
            if (elapsed >= ms) {
                return;
            }
            s_.clock->Pause(std::min(kSleepSliceMs, ms - elapsed));
        }
    }

    // One packet exchange, its answer in the data and message buffers. Nothing more goes
    // to the terminal once the session is stopped.
    bool Exchange(uint32_t cmd, std::span<const uint8_t> payload) {
        ClearReplyBuffers();
        return s_.Running() && SendCommand(s_, cmd, payload, data_, message_, &dataLength_) == 0;
    }

    // Writes a plain-text command as it stands, then clears the reply buffers; false when
    // the session was stopped or the channel did not take it ("Port lost", "Write time out").
    bool WritePlainText(std::string_view text) {
        command_.fill(0);
        std::memcpy(command_.data(), text.data(), text.size());
        const WriteOutcome outcome = s_.Running() ? WriteBytes(s_, command_.data(), text.size()) : WriteOutcome::kStopped;
        ClearReplyBuffers();
        if (outcome != WriteOutcome::kWritten && s_.Running()) {
            SetMessage(message_, WriteFailureText(outcome));
        }
        return outcome == WriteOutcome::kWritten;
    }

    // ---- phase 1: identification, and the application's way into its loader ----

    bool Identify() {
        Sleep(kSettleBeforeIdentifyMs);
        s_.response_timeout = kIdentifyTimeoutMs;
        if (Exchange(kCmdVersion, std::span<const uint8_t>())) {
            const std::vector<std::string_view> parts = SplitAtCrLf(DataText());
            ReportLoaderVersion(parts);
            if (parts.size() < 3) {
                SetMessage(message_, "Get fwversion failed");
                Fail(kCodeVersion);
                return false;
            }
            s_.view->SetStepText(Port(), std::string(parts[2]));
            return true;
        }
        // No answer to the version request: the terminal runs its application, and this
        // report is interim. A stopped session ends with it rather than talk to the
        // terminal again.
        const bool goesOn = s_.Running();
        Fail(nullptr, goesOn);
        if (!goesOn) {
            return false;
        }
        return CheckIdentity() && EnterLoader();
    }

    void ReportLoaderVersion(const std::vector<std::string_view>& parts) {
        std::string line;
        for (const std::string_view part : parts) {
            if (!part.empty()) {
                line += (line.empty() ? "" : " | ") + std::string(part);
            }
        }
        s_.Events().LoaderVersion(Port(), line);
    }

    bool CheckIdentity() {
        if (plan_.identity.b_checkTUSN == 0) {
            return true;
        }
        std::array<char, kReaderBufferSize + 1> tusn{};
        const bool read = WritePlainText(kReadTusn) && read_tusn_reply(s_, message_, tusn) == 0;
        ReportPlainText(kReadTusn, read, BufferText(tusn));
        if (!read) {
            SetMessage(message_, "READ TUSN ERROR");
            Fail(kCodePlainText);
            return false;
        }
        s_.Events().Tusn(Port(), BufferText(tusn));
        return compare_identity(s_, BufferText(tusn)) == 0;
    }

    bool EnterLoader() {
        Sleep(kPlainTextGapMs);
        const bool okay = WritePlainText(kGotoFastboot) && wait_okay(s_, message_) == 0;
        ReportPlainText(kGotoFastboot, okay, "OKAY");
        if (!okay) {
            Fail(kCodePlainText);
            return false;
        }
        Sleep(kPlainTextGapMs);
        return true;
    }

    bool OpenDownload() {
        if (!Exchange(kCmdOpenDownload, CharPayload('0'))) {
            Fail(static_cast<int>(kCmdOpenDownload));
            return false;
        }
        return true;
    }

    // ---- phase 2: application images ----

    bool DownloadImages() {
        if (plan_.b_downloadApp == 0 || plan_.imageCount < 1) {
            return true;
        }
        if (!SendImage(kStepMainApp, plan_.mainImage)) {
            Fail(kCodeMainImage);
            if (AppIsRunning()) {
                ResetRunningApp();
            }
            return false;
        }
        if (plan_.imageCount >= 2 && !SendImage(kStepSecondApp, plan_.secondImage)) {
            Fail(kCodeSecondImage);
            return false;
        }
        return true;
    }

    bool SendImage(int step, std::span<const uint8_t> image) {
        Step(step, 1, static_cast<uint32_t>(image.size()));
        message_.fill(0);
        if (!s_.Running() || send_image(s_, image, message_) != 0) {
            return false;
        }
        s_.Events().ImageDelivered(Port(), image);
        return true;
    }

    // The loader answered that the application runs: switch auto-run off and reset the
    // terminal; the port's run ends without a result of its own.
    void ResetRunningApp() {
        SetMessage(message_, "App is running, reset.");
        Fail(nullptr);
        KTRACE("MainProcess, if(b_DontAutoRun == TRUE)");
        KTRACE("\n");
        if (!Exchange(kCmdAutoRun, CharPayload('0'))) {
            Fail(static_cast<int>(kCmdAutoRun));
            return;
        }
        if (!Exchange(kCmdReset, CharPayload('0'))) {
            Fail(static_cast<int>(kCmdReset));
        }
    }

    // ---- phase 3: logo ----

    bool DownloadLogo() {
        if (plan_.b_downloadLogo == 0) {
            return true;
        }
        return SendBlock(kStepLogo, kCmdLogo, plan_.logoBlock, kCodeLogo);
    }

    bool SendBlock(int step, uint32_t cmd, std::span<const uint8_t> block, int code) {
        Step(step, 1, static_cast<uint32_t>(block.size()));
        message_.fill(0);
        if (!s_.Running() || send_block(s_, cmd, block, message_) != 0) {
            Fail(code);
            return false;
        }
        return true;
    }

    // ---- phase 4: file system ----

    bool SendRecord(uint32_t cmd, const Record& record, const int* code) {
        message_.fill(0);
        if (!s_.Running() || send_record(s_, cmd, record, message_) != 0) {
            Fail(code);
            return false;
        }
        return true;
    }

    bool SendRecord(uint32_t cmd, const Record& record) {
        const int code = static_cast<int>(cmd);
        return SendRecord(cmd, record, &code);
    }

    bool DownloadFileSystem() {
        if (plan_.b_fileDownload == 0) {
            return true;
        }
        if (plan_.b_fsConfig != 0 &&
            !SendRecord(kCmdFsConfig, FsConfigRecord(plan_.fsType, plan_.fsDMA, plan_.fsBaud), nullptr)) {
            return false;
        }
        Step(kStepErase, 1, 100);
        if (!SendRecord(kCmdErase, EraseRecord(), &kCodeErase)) {
            return false;
        }
        for (const PlanPartition& part : plan_.partitions) {
            if (part.b_fsPartInit != 0 && !InitPartition(part)) {
                return false;
            }
        }
        s_.view->SetProgress(Port(), 100);
        // A failure in the second set reports the directory command's code.
        const int codes[] = {kCodeFile, static_cast<int>(kCmdMakeDir), kCodeFile};
        for (size_t set = 0; set < plan_.fileSets.size(); ++set) {
            const PlanFileSet& files = plan_.fileSets[set];
            if (files.b_filePush != 0 && !PushFileSet(files.targetPath, files.files, codes[set])) {
                return false;
            }
        }
        return true;
    }

    bool InitPartition(const PlanPartition& part) {
        const Record record = InitPlusDataRecord(part.fsPartDrive + ":", static_cast<uint32_t>(part.fsPartAddress),
                                                 part.fsPartSize, plan_.spiFlashSize);
        return SendRecord(kCmdPartitionInit, record);
    }

    // A target of a drive and one directory is prepared first; then every file goes to
    // target + "/" + its name.
    bool PushFileSet(const std::string& target, const std::vector<PlanFile>& files, int code) {
        if (CountSlashes(target) == 1 && !SendRecord(kCmdMakeDir, TextRecord(target, 0))) {
            return false;
        }
        for (const PlanFile& file : files) {
            const std::string file_target = target + "/" + file.name;
            if (file_target.size() >= kTargetPathLimit) {
                std::snprintf(message_.data(), message_.size(), "Target path too long (%zu bytes, at most %zu): %s",
                              file_target.size(), kTargetPathLimit - 1, file_target.c_str());
                Fail(code);
                return false;
            }
            const std::span<const uint8_t> bytes = file.bytes;
            Step(kStepFile, 1, static_cast<uint32_t>(bytes.size()));
            message_.fill(0);
            if (!s_.Running() || send_file(s_, bytes, file_target, message_) != 0) {
                Fail(code);
                return false;
            }
        }
        return true;
    }

    // ---- phase 5: audio ----

    bool DownloadAudio() {
        if (plan_.b_downloadAMR == 0) {
            return true;
        }
        return SendBlock(kStepAmr, kCmdAmr, plan_.amrData, kCodeAmr);
    }

    // ---- phase 6: settings and finish ----

    bool ApplySettings() {
        if (plan_.b_autoRun != 0) {
            KTRACE("MainProcess, if (pApp->b_autoRun)");
            KTRACE("\n");
            if (!Exchange(kCmdAutoRun, CharPayload('1'))) {
                Fail(static_cast<int>(kCmdAutoRun));
                return false;
            }
        }
        return EnableSecureBoot() && RunApp() && CheckSp();
    }

    bool EnableSecureBoot() {
        if (plan_.b_secureBoot == 0) {
            return true;
        }
        if (!Exchange(kCmdSecureBootQuery, kSecureBootPayload)) {
            Fail(static_cast<int>(kCmdSecureBootQuery));
            return false;
        }
        const bool disabled = DataText().find(kSecureBootDisabled) != std::string_view::npos;
        if (disabled && !Exchange(kCmdSecureBootEnable, kSecureBootPayload)) {
            Fail(static_cast<int>(kCmdSecureBootEnable));
            return false;
        }
        return true;
    }

    bool RunApp() {
        if (plan_.b_runApp == 0 || Exchange(kCmdRunApp, std::span<const uint8_t>())) {
            return true;
        }
        Fail(static_cast<int>(kCmdRunApp));
        return AppIsRunning();
    }

    bool CheckSp() {
        if (plan_.b_checkSP == 0) {
            return true;
        }
        Step(kStepWaiting, 0, 0);
        Sleep(kCheckSpDelayMs);
        const bool okay = WritePlainText(kCheckSp) && wait_okay(s_, message_) == 0;
        ReportPlainText(kCheckSp, okay, "OKAY");
        if (!okay) {
            Fail(kCodePlainText);
            return false;
        }
        return true;
    }

    Session& s_;
    const DownloadPlan& plan_;
    std::array<uint8_t, kMaxFrame> command_{};
    std::array<uint8_t, 256> data_{};
    std::array<char, 256> message_{};
    uint32_t dataLength_ = 0;
    SessionEnd end_ = SessionEnd::kFailed;
};

// Some USB serial drivers keep a device that is gone, and the COM number it had, in use for as
// long as a handle to it is open, so a terminal plugged in again could not be opened until the
// unplug notice arrived. The channel is closed under the record's lock, which run control
// takes to cancel the session's I/O, so that a cancel never reaches a closed handle.
void CloseLostChannel(_THREAD_PARA_T& para) {
    const std::lock_guard<std::mutex> lock(para.channelLock);
    para.pChannel->vtbl->Close(para.pChannel);
}

}  // namespace

SessionEnd RunSession(Session& s) { return SessionDriver(s).Run(); }

int MainProcess(_THREAD_PARA_T* para) {
    Session s;
    s.plan = para->pRun->plan;
    s.running = para->pRun->running;
    s.channel = para->pChannel;
    s.view = para->pRun->view;
    s.events = para->pRun->events;
    s.nPort = para->nPort;
    s.stop = &para->bStop;
    s.clock = para->pRun->clock != nullptr ? para->pRun->clock : &DefaultClock();
    if (RunSession(s) == SessionEnd::kPortLost) {
        CloseLostChannel(*para);
    }
    para->bFinished.store(true);
    return 0;
}

}  // namespace korvane
