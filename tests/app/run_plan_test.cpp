// The download plan made at Start: what the sessions send is what was loaded, never more.
#include "app/run_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"

namespace korvane {
namespace {

std::vector<uint8_t> Bytes(size_t n) { return std::vector<uint8_t>(n, 0x5A); }

_tagDownloadImageData FileRecord(const std::string& name, uint32_t declared, size_t loaded) {
    _tagDownloadImageData file;
    std::copy(name.begin(), name.end(), file.szName.begin());
    file.nSize = declared;
    file.pData = Bytes(loaded);
    return file;
}

TEST(RunPlan, EveryByteSpanIsTheLoadedBufferCutToItsRecordedSize) {
    const struct {
        const char* name;
        int declared;
        size_t loaded;
        size_t planned;
    } cases[] = {
        {"size as loaded", 400, 400, 400},
        {"size below the buffer", 100, 400, 100},
        {"size beyond the buffer", 100000, 400, 400},
        {"negative size", -1, 400, 0},
        {"nothing loaded", 400, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CKorvaneAppDownloadApp app;
        app.images.mainImage = Bytes(c.loaded);
        app.images.mainImageSize = c.declared;
        app.images.secondImage = Bytes(c.loaded);
        app.images.secondImageSize = c.declared;
        app.logo.logoBlock = Bytes(c.loaded);
        app.logo.logoBlockSize = c.declared;
        app.audio.amrData = Bytes(c.loaded);
        app.audio.amrSize = c.declared;
        // A file's size is unsigned: the negative case records 0.
        app.fileSystem.fileSets[1].fileList = {FileRecord("f", static_cast<uint32_t>(std::max(c.declared, 0)), c.loaded)};
        const DownloadPlan plan = MakeDownloadPlan(app);
        EXPECT_EQ(plan.mainImage.size(), c.planned);
        EXPECT_EQ(plan.secondImage.size(), c.planned);
        EXPECT_EQ(plan.logoBlock.size(), c.planned);
        EXPECT_EQ(plan.amrData.size(), c.planned);
        ASSERT_EQ(plan.fileSets[1].files.size(), 1u);
        EXPECT_EQ(plan.fileSets[1].files[0].bytes.size(), c.planned);
        EXPECT_EQ(plan.mainImage.data(), app.images.mainImage.data()) << "the plan points into the loaded data";
    }
}

TEST(RunPlan, CarriesTheSwitchesPartitionsSetsIdentityAndSigning) {
    CKorvaneAppDownloadApp app;
    app.images.b_downloadApp = 1;
    app.images.imageCount = 2;
    app.logo.b_downloadLogo = 1;
    app.audio.b_downloadAMR = 1;
    app.b_autoRun = 1;
    app.b_secureBoot = 1;
    app.b_runApp = 1;
    app.b_checkSP = 1;
    FileSystem& fs = app.fileSystem;
    fs.b_fileDownload = 1;
    fs.b_fsConfig = 1;
    fs.fsType = 2;
    fs.fsDMA = 3;
    fs.fsBaud = 4;
    fs.spiFlashSize = 16;
    fs.partitions[1] = {1, 0x200, 3, "D"};
    fs.fileSets[2].b_filePush = 1;
    fs.fileSets[2].targetPath = "C:/audio";
    fs.fileSets[2].fileList = {FileRecord("one.bin", 2, 2), FileRecord(std::string(127, 'n'), 1, 1)};
    app.identity.b_checkTUSN = 1;
    app.identity.deviceType[0] = 'Q';

    const DownloadPlan plan = MakeDownloadPlan(app);
    EXPECT_EQ(plan.b_downloadApp, 1);
    EXPECT_EQ(plan.imageCount, 2);
    EXPECT_EQ(plan.b_downloadLogo, 1);
    EXPECT_EQ(plan.b_downloadAMR, 1);
    EXPECT_EQ(plan.b_autoRun + plan.b_secureBoot + plan.b_runApp + plan.b_checkSP, 4);
    EXPECT_EQ(plan.b_fileDownload, 1);
    EXPECT_EQ(plan.b_fsConfig, 1);
    EXPECT_EQ(plan.fsType, 2);
    EXPECT_EQ(plan.fsDMA, 3);
    EXPECT_EQ(plan.fsBaud, 4);
    EXPECT_EQ(plan.spiFlashSize, 16);
    EXPECT_EQ(plan.partitions[0].b_fsPartInit, 0);
    EXPECT_EQ(plan.partitions[1].b_fsPartInit, 1);
    EXPECT_EQ(plan.partitions[1].fsPartAddress, 0x200);
    EXPECT_EQ(plan.partitions[1].fsPartSize, 3);
    EXPECT_EQ(plan.partitions[1].fsPartDrive, "D");
    EXPECT_EQ(plan.fileSets[0].b_filePush, 0);
    EXPECT_EQ(plan.fileSets[2].b_filePush, 1);
    EXPECT_EQ(plan.fileSets[2].targetPath, "C:/audio");
    ASSERT_EQ(plan.fileSets[2].files.size(), 2u);
    EXPECT_EQ(plan.fileSets[2].files[0].name, "one.bin");
    EXPECT_EQ(plan.fileSets[2].files[1].name, std::string(127, 'n')) << "a name filling its record keeps every byte";
    EXPECT_EQ(plan.identity.b_checkTUSN, 1);
    EXPECT_EQ(plan.identity.deviceType[0], 'Q');
    EXPECT_EQ(plan.signing, &app.signing);
}

}  // namespace
}  // namespace korvane
