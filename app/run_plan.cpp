#include "app/run_plan.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "engine/response_reader.h"

namespace korvane {

namespace {

// The loaded bytes a session sends: the buffer, cut to its recorded size.
std::span<const uint8_t> Loaded(const std::vector<uint8_t>& bytes, int64_t size) {
    const auto length = static_cast<size_t>(std::clamp<int64_t>(size, 0, static_cast<int64_t>(bytes.size())));
    return {bytes.data(), length};
}

PlanFileSet PlanOf(const FileSet& set) {
    PlanFileSet plan;
    plan.b_filePush = set.b_filePush;
    plan.targetPath = set.targetPath;
    for (const _tagDownloadImageData& file : set.fileList) {
        plan.files.push_back({std::string(BufferText(file.szName)), Loaded(file.pData, file.nSize)});
    }
    return plan;
}

}  // namespace

DownloadPlan MakeDownloadPlan(const CKorvaneAppDownloadApp& app) {
    DownloadPlan plan;
    const LoadedImages& images = app.images;
    plan.b_downloadApp = images.b_downloadApp;
    plan.imageCount = images.imageCount;
    plan.mainImage = Loaded(images.mainImage, images.mainImageSize);
    plan.secondImage = Loaded(images.secondImage, images.secondImageSize);

    plan.b_downloadLogo = app.logo.b_downloadLogo;
    plan.logoBlock = Loaded(app.logo.logoBlock, app.logo.logoBlockSize);

    const FileSystem& fs = app.fileSystem;
    plan.b_fileDownload = fs.b_fileDownload;
    plan.b_fsConfig = fs.b_fsConfig;
    plan.fsType = fs.fsType;
    plan.fsDMA = fs.fsDMA;
    plan.fsBaud = fs.fsBaud;
    plan.spiFlashSize = fs.spiFlashSize;
    for (size_t i = 0; i < fs.partitions.size(); ++i) {
        const FsPartition& part = fs.partitions[i];
        plan.partitions[i] = {part.b_fsPartInit, part.fsPartDrive, part.fsPartAddress, part.fsPartSize};
    }
    for (size_t i = 0; i < fs.fileSets.size(); ++i) {
        plan.fileSets[i] = PlanOf(fs.fileSets[i]);
    }

    plan.b_downloadAMR = app.audio.b_downloadAMR;
    plan.amrData = Loaded(app.audio.amrData, app.audio.amrSize);

    plan.b_autoRun = app.b_autoRun;
    plan.b_secureBoot = app.b_secureBoot;
    plan.b_runApp = app.b_runApp;
    plan.b_checkSP = app.b_checkSP;
    plan.identity = app.identity;
    plan.signing = &app.signing;
    return plan;
}

}  // namespace korvane
