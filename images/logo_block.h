// The logo: the 16-bit bitmap decoder and the block the terminal takes (a 28-byte header of
// placement and display settings, then the pixels).
// Thread safety: front end's thread only, never while a run reads the block.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvane {

// Offsets and sizes of the logo block's 28-byte header.
inline constexpr uint32_t kLogoMagic = 0x5A5AA5A5;
inline constexpr int kLogoHeaderSize = 28;
// The header's external-power pin when the display has no external supply.
inline constexpr uint8_t kNoExtPowerPin = 0xFE;

inline constexpr const char* kLogoReselectMessage = "Please re-select the logo file!";

using LogoHeader = std::array<uint8_t, kLogoHeaderSize>;

// The logo's file, where and how the terminal shows it, and what was loaded from the file.
struct LogoSettings {
    int b_downloadLogo = 0;
    std::string logoPath;
    int b_logoLoaded = 0;

    // Placement and display.
    int logoLeft = 0, logoTop = 0, lcdType = 0, logoBacklight = 0;
    int b_extPower = 0, extPowerGPIO = 0, extPowerGPIOPolarity = 0;
    int lcdIOLevel = 0, lcdClock = 0;

    // The decoded bitmap: rows top first, logoWidth * 2 bytes each.
    int logoWidth = 0, logoHeight = 0, logoDataSize = 0;
    std::vector<uint8_t> logoPixels;

    // What is sent: the header, then the pixels.
    std::vector<uint8_t> logoBlock;
    int logoBlockSize = 0;
};

// A logo decoded from a 16-bit uncompressed bitmap: the rows top first, width * 2 bytes each.
struct LogoImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
};
// Decodes a whole bitmap file held in memory; nothing when it is not a 16-bit uncompressed
// bitmap with a positive size whose rows all lie inside the file, or when memory cannot
// hold its pixels.
std::optional<LogoImage> DecodeLogo(std::span<const uint8_t> file);

// Loads logoPath, a 16-bit uncompressed bitmap stored bottom-up, into logoPixels (top row
// first, width * 2 bytes per row) and sets logoWidth, logoHeight and logoDataSize. 1 on
// success; 0 for a file that cannot be read, is not such a bitmap or does not fit in
// memory, leaving no pixels and width, height and size 0.
int LoadLogo(LogoSettings& logo);
// logoBlock = the 28-byte header made from the settings and the bitmap, then the pixels;
// sets logoBlockSize.
void BuildLogoBlock(LogoSettings& logo);

}  // namespace korvane
