// Local download data: the logo bitmap, the audio file and the file sets, loaded into the
// application object once at start-up and again when the settings choose new files.
// Loaders show nothing; the caller reports with the texts below.
// Thread safety: front end's thread only, never while a run reads the loaded data.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"

namespace korvane {

// Offsets and sizes of the logo block's 28-byte header.
inline constexpr uint32_t kLogoMagic = 0x5A5AA5A5;
inline constexpr int kLogoHeaderSize = 28;
// The header's external-power pin when the display has no external supply.
inline constexpr uint8_t kNoExtPowerPin = 0xFE;
// Files longer than this are not loaded (sizes travel as 32-bit signed counts).
inline constexpr uint64_t kMaxLoadedFileBytes = 0x7FFFFFFF;

inline constexpr const char* kLogoReselectMessage = "Please re-select the logo file!";
inline constexpr const char* kAmrNoMemoryMessage = "malloc失败，请重新选择AMR文件";
inline constexpr const char* kAmrLoadFailedMessage = "加载AMR文件失败，请重新选择！";
// The message for a file of set 1, 2 or 3 that cannot be loaded.
const char* FileSetErrorMessage(int set);

// Appends the full path of every plain file directly inside directory (no folders, no
// recursion), sorted by name so that every run pushes the files in the same order.
void ListFiles(const std::string& directory, std::vector<std::string>& paths);
// The file's length in bytes; 0 when it is not a plain file that can be opened for reading.
uint32_t GetFileLength(const std::string& path);
// 1 when the file opened and exactly count bytes were read into buffer, else 0.
int ReadFileBytes(const std::string& path, uint32_t count, uint8_t* buffer);

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
int LoadLogo(CKorvaneAppDownloadApp& app);
// logoHeader from the logo members and logoBlock = header + pixels; sets logoBlockSize.
void BuildLogoBlock(CKorvaneAppDownloadApp& app);

// Loads set n (1 to 3) afresh from its local path: the list, the name array and the
// loaded flag are rebuilt. A file that cannot be loaded (unreadable, or more than memory
// holds), is too long or whose name does
// not fit the record's 127 bytes is left out, clears the flag and is reported through
// onError (when given); a loaded file sets the flag.
void LoadFileSet(CKorvaneAppDownloadApp& app, int set, const std::function<void(int set)>& onError);

enum AmrLoad : int { kAmrNoMemory = -1, kAmrUnreadable = 0, kAmrLoaded = 1 };
// Loads amrPath into amrData and amrSize and sets b_amrLoaded.
AmrLoad LoadAmr(CKorvaneAppDownloadApp& app);

}  // namespace korvane
