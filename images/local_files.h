// Local download data: the audio file and the file sets, loaded once at start-up and again
// when the settings choose new files (the logo is in logo_block.h).
// Loaders show nothing; the caller reports with the texts below.
// Thread safety: front end's thread only, never while a run reads the loaded data.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvane {

// Files longer than this are not loaded (sizes travel as 32-bit signed counts).
inline constexpr uint64_t kMaxLoadedFileBytes = 0x7FFFFFFF;

// One loaded file of a file set.
struct _tagDownloadImageData {
    uint32_t nSize = 0;
    std::array<char, 128> szName{};  // bare file name, zero-terminated, rest zero
    std::vector<uint8_t> pData;
};

// A partition of the terminal's flash that the file system sets up.
struct FsPartition {
    int b_fsPartInit = 0;
    int fsPartAddress = 0;  // in units of 4 KiB
    int fsPartSize = 0;     // in MiB
    std::string fsPartDrive;
};

// A local folder whose files are pushed to one target folder of the terminal.
struct FileSet {
    int b_filePush = 0;
    std::string targetPath;
    std::string filePath;                // the local folder
    std::vector<std::string> fileNames;  // full paths of the files found there
    std::vector<_tagDownloadImageData> fileList;
    int b_filesLoaded = 0;               // the last file tried was loaded
};

// The terminal's file system: format settings, two partitions and three file sets.
struct FileSystem {
    int b_fileDownload = 0;
    int b_fsConfig = 0, fsDMA = 0, fsType = 0, fsBaud = 0;
    int spiFlashSize = 0;
    std::array<FsPartition, 2> partitions;
    std::array<FileSet, 3> fileSets;
};

// The audio file.
struct AudioFile {
    int b_downloadAMR = 0;
    std::string amrPath;
    std::vector<uint8_t> amrData;
    int amrSize = 0;
    int b_amrLoaded = 0;
};

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
// The whole of a plain file no longer than kMaxLoadedFileBytes; nothing when it cannot be
// read or memory cannot hold it.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path);

// Loads a set afresh from its local folder: the list, the name array and the loaded flag
// are rebuilt. A file that cannot be loaded (unreadable, or more than memory
// holds), is too long or whose name does
// not fit the record's 127 bytes is left out, clears the flag and is reported through
// onError (when given, with the set's number n, 1 to 3); a loaded file sets the flag.
void LoadFileSet(FileSet& files, int n, const std::function<void(int set)>& onError);

enum AmrLoad : int { kAmrNoMemory = -1, kAmrUnreadable = 0, kAmrLoaded = 1 };
// Loads amrPath into amrData and amrSize and sets b_amrLoaded.
AmrLoad LoadAmr(AudioFile& audio);

}  // namespace korvane
