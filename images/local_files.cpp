#include "images/local_files.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <system_error>

#include "app/fixed_field.h"
#include "platform/ansi_text.h"
#include "platform/file_path.h"

namespace korvane {

namespace fs = std::filesystem;

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens only plain files: a FIFO or device of the same name would block or never end.
File OpenPlainFile(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(PathFromUtf8(path), error)) {
        return nullptr;
    }
    return File(OpenFile(path, "rb"));
}

// The length of a plain file that can be opened for reading.
std::optional<uint64_t> FileLength(const std::string& path) {
    if (!OpenPlainFile(path)) {
        return std::nullopt;
    }
    std::error_code error;
    const uint64_t size = fs::file_size(PathFromUtf8(path), error);
    if (error) {
        return std::nullopt;
    }
    return size;
}

// The whole of a plain file no longer than the loaders take; nothing when it cannot be
// read or memory cannot hold it.
std::optional<std::vector<uint8_t>> ReadPlainFile(const std::string& path) {
    const std::optional<uint64_t> length = FileLength(path);
    if (!length || *length > kMaxLoadedFileBytes) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(*length));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (!ReadFileBytes(path, static_cast<uint32_t>(*length), bytes.data())) {
        return std::nullopt;
    }
    return bytes;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
void PutLe16(uint8_t* p, int32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}
void PutLe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

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
    layout.pixelOffset = Le32(headers.data() + 10);
    layout.width = static_cast<int32_t>(Le32(info + 4));
    layout.height = static_cast<int32_t>(Le32(info + 8));
    const uint16_t bitCount = Le16(info + 14);
    const uint32_t compression = Le32(info + 16);
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

void ClearLogo(CKorvaneAppDownloadApp& app) {
    app.logoPixels.clear();
    app.logoWidth = 0;
    app.logoHeight = 0;
    app.logoDataSize = 0;
}

// The file's name as the terminal stores it: the text after the path's last separator, in
// the ANSI code page (on Windows; UTF-8 elsewhere), so its 127-byte limit counts those bytes.
std::string TerminalFileName(const std::string& path) {
    return ToAnsiCodePage(path.substr(path.find_last_of("/\\") + 1));
}

// One file of a set as its record; nothing when it cannot be loaded whole.
std::optional<_tagDownloadImageData> LoadFileRecord(const std::string& path) {
    _tagDownloadImageData record;
    if (!CopyToField(TerminalFileName(path), record.szName)) {
        return std::nullopt;
    }
    std::optional<std::vector<uint8_t>> bytes = ReadPlainFile(path);
    if (!bytes) {
        return std::nullopt;
    }
    record.nSize = static_cast<uint32_t>(bytes->size());
    record.pData = std::move(*bytes);
    return record;
}

struct FileSetMembers {
    const std::string& path;
    std::vector<std::string>& names;
    std::vector<_tagDownloadImageData>& list;
    int& loaded;
};

std::optional<FileSetMembers> MembersOfSet(CKorvaneAppDownloadApp& app, int set) {
    switch (set) {
        case 1:
            return FileSetMembers{app.filePath1, app.fileNames1, app.fileList1, app.b_filesLoaded1};
        case 2:
            return FileSetMembers{app.filePath2, app.fileNames2, app.fileList2, app.b_filesLoaded2};
        case 3:
            return FileSetMembers{app.filePath3, app.fileNames3, app.fileList3, app.b_filesLoaded3};
        default:
            return std::nullopt;
    }
}

}  // namespace

const char* FileSetErrorMessage(int set) {
    return set == 2 ? "文件系统待下载文件(2)加载错误，请重新选择！" : "文件系统待下载文件(1)加载错误，请重新选择！";
}

void ListFiles(const std::string& directory, std::vector<std::string>& paths) {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::directory_iterator it(PathFromUtf8(directory), error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            found.push_back(Utf8FromPath(PathFromUtf8(directory) / it->path().filename()));
        }
    }
    std::sort(found.begin(), found.end());
    paths.insert(paths.end(), found.begin(), found.end());
}

uint32_t GetFileLength(const std::string& path) {
    const std::optional<uint64_t> length = FileLength(path);
    if (!length || *length > UINT32_MAX) {
        return 0;
    }
    return static_cast<uint32_t>(*length);
}

int ReadFileBytes(const std::string& path, uint32_t count, uint8_t* buffer) {
    File file = OpenPlainFile(path);
    if (!file) {
        return 0;
    }
    return std::fread(buffer, 1, count, file.get()) == count ? 1 : 0;
}

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

int LoadLogo(CKorvaneAppDownloadApp& app) {
    ClearLogo(app);
    const std::optional<std::vector<uint8_t>> file = ReadPlainFile(app.logoPath);
    if (!file) {
        return 0;
    }
    std::optional<LogoImage> image = DecodeLogo(*file);
    if (!image) {
        return 0;
    }
    app.logoWidth = image->width;
    app.logoHeight = image->height;
    app.logoPixels = std::move(image->pixels);
    app.logoDataSize = static_cast<int>(app.logoPixels.size());
    return 1;
}

void BuildLogoBlock(CKorvaneAppDownloadApp& app) {
    LogoHeader& header = app.logoHeader;
    header.fill(0);
    PutLe32(&header[0], kLogoMagic);
    PutLe16(&header[4], app.logoLeft);
    PutLe16(&header[6], app.logoTop);
    PutLe16(&header[8], app.logoWidth);
    PutLe16(&header[10], app.logoHeight);
    PutLe32(&header[12], static_cast<uint32_t>(app.logoDataSize));
    PutLe32(&header[16], static_cast<uint32_t>(app.lcdType));
    header[21] = static_cast<uint8_t>(app.logoBacklight);
    header[22] = app.b_extPower ? static_cast<uint8_t>(app.extPowerGPIO) : kNoExtPowerPin;
    header[23] = static_cast<uint8_t>(app.extPowerGPIOPolarity);
    PutLe16(&header[24], app.lcdIOLevel);
    header[26] = static_cast<uint8_t>(app.lcdClock);
    app.logoBlock.assign(header.begin(), header.end());
    app.logoBlock.insert(app.logoBlock.end(), app.logoPixels.begin(), app.logoPixels.end());
    app.logoBlockSize = static_cast<int>(app.logoBlock.size());
}

void LoadFileSet(CKorvaneAppDownloadApp& app, int set, const std::function<void(int set)>& onError) {
    std::optional<FileSetMembers> found = MembersOfSet(app, set);
    if (!found) {
        return;
    }
    FileSetMembers& members = *found;
    members.names.clear();
    members.list.clear();
    members.loaded = 0;
    ListFiles(members.path, members.names);
    // The flag follows the last file, so a failure before a success leaves it set.
    for (const std::string& path : members.names) {
        std::optional<_tagDownloadImageData> record = LoadFileRecord(path);
        if (record) {
            members.list.push_back(std::move(*record));
            members.loaded = 1;
        } else {
            members.loaded = 0;
            if (onError) {
                onError(set);
            }
        }
    }
}

AmrLoad LoadAmr(CKorvaneAppDownloadApp& app) {
    app.amrData.clear();
    app.amrSize = 0;
    app.b_amrLoaded = 0;
    const std::optional<uint64_t> length = FileLength(app.amrPath);
    if (!length || *length > kMaxLoadedFileBytes) {
        return kAmrUnreadable;
    }
    try {
        app.amrData.resize(static_cast<size_t>(*length));
    } catch (const std::bad_alloc&) {
        return kAmrNoMemory;
    }
    if (!ReadFileBytes(app.amrPath, static_cast<uint32_t>(*length), app.amrData.data())) {
        app.amrData.clear();
        return kAmrUnreadable;
    }
    app.amrSize = static_cast<int>(*length);
    app.b_amrLoaded = 1;
    return kAmrLoaded;
}

}  // namespace korvane
