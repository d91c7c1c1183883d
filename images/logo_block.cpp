#include "images/logo_block.h"

#include <algorithm>
#include <new>

#include "images/local_files.h"
#include "platform/little_endian.h"

namespace korvane {

namespace {

// Bitmap file header (14 bytes) and information header (first 40 bytes).
constexpr size_t kFileHeaderSize = 14;
constexpr size_t kBitmapHeadersSize = kFileHeaderSize + 40;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

// Where the pixel rows of a 16-bit bitmap lie.
struct LogoLayout {
    int32_t width = 0;
    int32_t height = 0;
    uint64_t pixelOffset = 0;
    uint64_t rowBytes = 0;  // width * 2: one row as the terminal takes it
    uint64_t stride = 0;    // one row in the file, padded to a multiple of 4 bytes
};

// Refuses anything but 16-bit uncompressed pixels with a positive size whose rows all
// lie inside the file.
std::optional<LogoLayout> ParseLogoHeaders(std::span<const uint8_t, kBitmapHeadersSize> headers,
                                           uint64_t fileSize) {
    const uint8_t* info = headers.data() + kFileHeaderSize;
    LogoLayout layout;
    layout.pixelOffset = GetU32(headers.data() + 10);
    layout.width = static_cast<int32_t>(GetU32(info + 4));
    layout.height = static_cast<int32_t>(GetU32(info + 8));
    const uint16_t bitCount = GetU16(info + 14);
    const uint32_t compression = GetU32(info + 16);
    if (bitCount != 16 || (compression != kBiRgb && compression != kBiBitfields)) {
        return std::nullopt;
    }
    if (layout.width <= 0 || layout.height <= 0) {
        return std::nullopt;
    }
    layout.rowBytes = static_cast<uint64_t>(layout.width) * 2;
    layout.stride = (layout.rowBytes + 3) / 4 * 4;
    const uint64_t rows = static_cast<uint64_t>(layout.height);
    if (layout.rowBytes * rows > kMaxLoadedFileBytes) {
        return std::nullopt;
    }
    // The last row needs no padding after it.
    const uint64_t extent = layout.stride * (rows - 1) + layout.rowBytes;
    if (layout.pixelOffset > fileSize || extent > fileSize - layout.pixelOffset) {
        return std::nullopt;
    }
    return layout;
}

void ClearLogo(LogoSettings& logo) {
    logo.logoPixels.clear();
    logo.logoWidth = 0;
    logo.logoHeight = 0;
    logo.logoDataSize = 0;
}

}  // namespace

std::optional<LogoImage> DecodeLogo(std::span<const uint8_t> file) {
    if (file.size() < kBitmapHeadersSize) {
        return std::nullopt;
    }
    const std::optional<LogoLayout> layout = ParseLogoHeaders(file.first<kBitmapHeadersSize>(), file.size());
    if (!layout) {
        return std::nullopt;
    }
    const size_t rows = static_cast<size_t>(layout->height);
    const size_t rowBytes = static_cast<size_t>(layout->rowBytes);
    LogoImage image{layout->width, layout->height, {}};
    try {
        image.pixels.resize(rows * rowBytes);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    // Rows are stored bottom-up at their padded stride; they go out top row first, unpadded.
    for (size_t fileRow = 0; fileRow < rows; ++fileRow) {
        const uint8_t* from = file.data() + layout->pixelOffset + fileRow * layout->stride;
        std::copy(from, from + rowBytes, image.pixels.begin() + static_cast<ptrdiff_t>((rows - 1 - fileRow) * rowBytes));
    }
    return image;
}

int LoadLogo(LogoSettings& logo) {
    ClearLogo(logo);
    const std::optional<std::vector<uint8_t>> file = ReadWholeFile(logo.logoPath);
    if (!file) {
        return 0;
    }
    std::optional<LogoImage> image = DecodeLogo(*file);
    if (!image) {
        return 0;
    }
    logo.logoWidth = image->width;
    logo.logoHeight = image->height;
    logo.logoPixels = std::move(image->pixels);
    logo.logoDataSize = static_cast<int>(logo.logoPixels.size());
    return 1;
}

void BuildLogoBlock(LogoSettings& logo) {
    LogoHeader header{};
    PutU32(&header[0], kLogoMagic);
    PutU16(&header[4], static_cast<uint16_t>(logo.logoLeft));
    PutU16(&header[6], static_cast<uint16_t>(logo.logoTop));
    PutU16(&header[8], static_cast<uint16_t>(logo.logoWidth));
    PutU16(&header[10], static_cast<uint16_t>(logo.logoHeight));
    PutU32(&header[12], static_cast<uint32_t>(logo.logoDataSize));
    PutU32(&header[16], static_cast<uint32_t>(logo.lcdType));
    header[21] = static_cast<uint8_t>(logo.logoBacklight);
    header[22] = logo.b_extPower ? static_cast<uint8_t>(logo.extPowerGPIO) : kNoExtPowerPin;
    header[23] = static_cast<uint8_t>(logo.extPowerGPIOPolarity);
    PutU16(&header[24], static_cast<uint16_t>(logo.lcdIOLevel));
    header[26] = static_cast<uint8_t>(logo.lcdClock);
    logo.logoBlock.assign(header.begin(), header.end());
    logo.logoBlock.insert(logo.logoBlock.end(), logo.logoPixels.begin(), logo.logoPixels.end());
    logo.logoBlockSize = static_cast<int>(logo.logoBlock.size());
}

}  // namespace korvane
