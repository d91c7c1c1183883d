#include "ui/frame_logic.h"

#include <utility>

#include "app/KorvaneAppDownloadApp.h"
#include "app/message_sink.h"
#include "app/run_control.h"
#include "images/server_images.h"
#include "ui/toolbar_rules.h"

namespace korvane {

FrameLogic::FrameLogic(CKorvaneAppDownloadApp& app, RunControl& run, IMessageSink& sink, IFrameWindow& window)
    : app_(app), run_(run), sink_(sink), window_(window) {}

std::string FrameLogic::Title() {
    return "KorvaneAppDownload_FOR_QV41C_V1.0_" __DATE__ " " __TIME__;
}

void FrameLogic::UpdateCommands() {
    const bool running = run_.Running();
    for (const ToolbarButton& button : kToolbarButtons) {
        window_.EnableCommand(button.command, CommandEnabled(button.command, running));
    }
}

void FrameLogic::FollowRunTimer() {
    window_.SetRunTimer(run_.TimerArmed());
}

void FrameLogic::OnStart() {
    if (run_.Running()) {
        return;
    }
    run_.OnStart();
    FollowRunTimer();
    UpdateCommands();
}

void FrameLogic::OnStop() {
    if (!run_.Running()) {
        return;
    }
    if (beforeStop_) {
        beforeStop_();
    }
    run_.OnStop();
    FollowRunTimer();
    UpdateCommands();
}

void FrameLogic::SetBeforeStop(std::function<void()> hook) {
    beforeStop_ = std::move(hook);
}

void FrameLogic::OnSettings() {
    if (!window_.RunSettingsDialog() || app_.images.b_downloadApp == 0) {
        return;
    }
    ServerImageBuffers buffers;
    if (LoadServerImages(app_.rsaKeys, app_.images, buffers) == 1) {
        app_.images.b_appLoaded = 1;
    } else {
        sink_.ShowMessage("读取App失败，请确认！");
        app_.images.b_appLoaded = 0;
    }
}

void FrameLogic::OnTick() {
    run_.OnTimer();
}

void FrameLogic::OnPortChange(uint32_t wParam, intptr_t lParam) {
    run_.OnPortChange(wParam, lParam);
}

}  // namespace korvane
