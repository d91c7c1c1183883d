// What the sessions of a run download and check, in the order they do it. Run control
// builds the plan at Start from the configuration and the loaded data; the byte spans point
// into that data, which does not change while a run goes on.
// Thread safety: read-only from Start to Stop; every session and signing ahead read it at once.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/identity_check.h"

namespace korvane {

struct SigningSetup;

// One file of a set: its bare name as the terminal stores it and its bytes.
struct PlanFile {
    std::string name;
    std::span<const uint8_t> bytes;
};

struct PlanPartition {
    int b_fsPartInit = 0;
    std::string fsPartDrive;
    int fsPartAddress = 0;
    int fsPartSize = 0;
};

struct PlanFileSet {
    int b_filePush = 0;
    std::string targetPath;
    std::vector<PlanFile> files;
};

struct DownloadPlan {
    // Application images: imageCount of them, the main image first.
    int b_downloadApp = 0;
    int imageCount = 0;
    std::span<const uint8_t> mainImage;
    std::span<const uint8_t> secondImage;

    int b_downloadLogo = 0;
    std::span<const uint8_t> logoBlock;

    // File system: optional format settings, the two partitions, the three file sets.
    int b_fileDownload = 0;
    int b_fsConfig = 0, fsType = 0, fsDMA = 0, fsBaud = 0;
    int spiFlashSize = 0;
    std::array<PlanPartition, 2> partitions;
    std::array<PlanFileSet, 3> fileSets;

    int b_downloadAMR = 0;
    std::span<const uint8_t> amrData;

    // Final settings.
    int b_autoRun = 0, b_secureBoot = 0, b_runApp = 0, b_checkSP = 0;

    IdentityCheck identity;
    const SigningSetup* signing = nullptr;
};

}  // namespace korvane
