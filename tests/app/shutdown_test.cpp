// Shut-down ends a session thread that is still reading the loaded data before freeing it.
#include <atomic>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "app/KorvaneAppDownloadApp.h"
#include "engine/thread_para.h"

namespace korvane {
namespace {

TEST(ShutdownTest, SessionStillRunningIsEndedBeforeTheDataGoes) {
    CKorvaneAppDownloadApp app;
    app.mainImage.assign(4096, 0xA5);
    app.b_running = 1;
    std::atomic<bool> reading{false};
    std::atomic<bool> sawFreedData{false};
    auto session = std::make_unique<_THREAD_PARA_T>();
    _THREAD_PARA_T& record = *session;
    record.pApp = &app;
    record.pThread = std::thread([&record, &reading, &sawFreedData] {
        // Like a session sending the image: it reads until its stop flag is set.
        while (!record.bStop) {
            const std::vector<uint8_t>& image = record.pApp->mainImage;
            if (image.size() != 4096 || image[4095] != 0xA5) {
                sawFreedData = true;
            }
            reading = true;
        }
        record.bFinished = true;
    });
    app.sessionMap.emplace(7u, std::move(session));
    while (!reading) {
        std::this_thread::yield();
    }

    app.ExitInstance();
    EXPECT_TRUE(app.sessionMap.at(7)->bFinished);
    EXPECT_FALSE(app.sessionMap.at(7)->pThread.joinable());
    EXPECT_FALSE(sawFreedData);
    EXPECT_EQ(app.b_running, 0);
    EXPECT_TRUE(app.mainImage.empty());
}

}  // namespace
}  // namespace korvane
