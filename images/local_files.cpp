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

#include "platform/ansi_text.h"
#include "platform/file_path.h"
#include "platform/fixed_field.h"

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
    std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(path);
    if (!bytes) {
        return std::nullopt;
    }
    record.nSize = static_cast<uint32_t>(bytes->size());
    record.pData = std::move(*bytes);
    return record;
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

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
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

void LoadFileSet(FileSet& files, int n, const std::function<void(int set)>& onError) {
    files.fileNames.clear();
    files.fileList.clear();
    files.b_filesLoaded = 0;
    ListFiles(files.filePath, files.fileNames);
    // The flag follows the last file, so a failure before a success leaves it set.
    for (const std::string& path : files.fileNames) {
        std::optional<_tagDownloadImageData> record = LoadFileRecord(path);
        if (record) {
            files.fileList.push_back(std::move(*record));
            files.b_filesLoaded = 1;
        } else {
            files.b_filesLoaded = 0;
            if (onError) {
                onError(n);
            }
        }
    }
}

AmrLoad LoadAmr(AudioFile& audio) {
    audio.amrData.clear();
    audio.amrSize = 0;
    audio.b_amrLoaded = 0;
    const std::optional<uint64_t> length = FileLength(audio.amrPath);
    if (!length || *length > kMaxLoadedFileBytes) {
        return kAmrUnreadable;
    }
    try {
        audio.amrData.resize(static_cast<size_t>(*length));
    } catch (const std::bad_alloc&) {
        return kAmrNoMemory;
    }
    if (!ReadFileBytes(audio.amrPath, static_cast<uint32_t>(*length), audio.amrData.data())) {
        audio.amrData.clear();
        return kAmrUnreadable;
    }
    audio.amrSize = static_cast<int>(*length);
    audio.b_amrLoaded = 1;
    return kAmrLoaded;
}

}  // namespace korvane
