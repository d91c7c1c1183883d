#include "records/spool.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/file_path.h"
#include "platform/file_replace.h"
#include "records/row_codec.h"

namespace korvane {

namespace {

constexpr const char* kSuffix = ".row";
constexpr const char* kRejected = "rejected";
// A row with the longest log text fits many times over.
constexpr size_t kMaxRowFile = 1024 * 1024;

}  // namespace

std::string SpoolFileName(const StationRow& row) {
    std::string name;
    for (const char c : row.sessionId) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
                           c == '_' || c == '.';
        name.push_back(plain ? c : '_');
    }
    return name + kSuffix;
}

RecordSpool::RecordSpool(std::string folder) : folder_(std::move(folder)) {}

bool RecordSpool::Put(const StationRow& row, std::string& error) const {
    std::error_code ec;
    std::filesystem::create_directories(PathFromUtf8(folder_), ec);
    const std::string file = Utf8FromPath(PathFromUtf8(folder_) / SpoolFileName(row));
    if (ec || !ReplaceFileAtomically(file, EncodeRow(row))) {
        error = "records: cannot write the spool file " + file;
        return false;
    }
    return true;
}

std::vector<RecordSpool::Entry> RecordSpool::Pending(std::vector<std::string>* unreadable) const {
    std::vector<std::string> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(PathFromUtf8(folder_), ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == kSuffix && it->is_regular_file(ec)) {
            files.push_back(Utf8FromPath(it->path()));
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<Entry> entries;
    for (std::string& file : files) {
        const FileContents contents = ReadWholeFile(file, kMaxRowFile);
        if (contents.status == FileContents::kMissing) {
            continue;  // sent and removed meanwhile
        }
        std::optional<StationRow> row =
            contents.status == FileContents::kRead ? DecodeRow(contents.bytes) : std::nullopt;
        if (!row) {
            SetAside(file);
            if (unreadable != nullptr) {
                unreadable->push_back(file);
            }
            continue;
        }
        entries.push_back({std::move(file), std::move(*row)});
    }
    return entries;
}

void RecordSpool::Remove(const std::string& file) const {
    std::error_code ec;
    std::filesystem::remove(PathFromUtf8(file), ec);
}

void RecordSpool::SetAside(const std::string& file) const {
    const std::filesystem::path from = PathFromUtf8(file);
    const std::filesystem::path folder = PathFromUtf8(folder_) / kRejected;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::filesystem::rename(from, folder / from.filename(), ec);
}

}  // namespace korvane
