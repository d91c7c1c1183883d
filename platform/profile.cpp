#include "platform/profile.h"

#include "platform/ansi_text.h"
#include "platform/file_replace.h"
#include "platform/profile_format.h"
#include "platform/trace.h"

#include <mutex>

namespace korvane {
namespace {

// Profiles are small; anything larger is not one and is treated as unreadable.
constexpr size_t kMaxProfileSize = 16u * 1024 * 1024;

// Files the system's own profile functions wrote are in the ANSI code page.
constexpr ProfileCodePage kAnsiCodePage{FromAnsiCodePageExact, ToAnsiCodePageExact};

// One lock for every profile access of the process (of this copy of the library; other
// copies and processes meet at the folder lock when they write).
std::mutex& ProfileMutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<ProfileDocument> LoadDocument(const std::string& file) {
    FileContents contents = ReadWholeFile(file, kMaxProfileSize);
    switch (contents.status) {
    case FileContents::kRead:
        return DecodeProfile(contents.bytes, &kAnsiCodePage);
    case FileContents::kMissing:
        return ProfileDocument{};
    case FileContents::kFailed:
        break;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadProfileString(const std::string& file, const std::string& section,
                                             const std::string& key) {
    std::lock_guard lock(ProfileMutex());
    const auto document = LoadDocument(file);
    if (!document) {
        return std::nullopt;
    }
    return FindProfileValue(*document, section, key);
}

bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::optional<std::string>& value) {
    std::lock_guard lock(ProfileMutex());
    const std::string target = ResolveReplaceTarget(file);
    FolderWriteLock folder_lock(target);
    auto document = LoadDocument(target);
    if (!document) {
        return false;
    }
    switch (SetProfileValue(*document, section, key, value)) {
    case ProfileEdit::kUnchanged:
        return true;
    case ProfileEdit::kRejected:
        return false;
    case ProfileEdit::kNotInEncoding:
        // Written, the text would come back as '?' or not at all; the file stays as it is.
        TraceFormat("WriteProfileString: %s cannot hold [%s] %s in its encoding; the file was not changed",
                    target.c_str(), section.c_str(), key.c_str());
        return false;
    case ProfileEdit::kChanged:
        break;
    }
    return ReplaceFileAtomically(target, EncodeProfile(*document));
}

std::vector<std::string> ReadProfileKeys(const std::string& file, const std::string& section) {
    std::vector<std::string> keys;
    for (auto& entry : ReadProfileSection(file, section)) {
        keys.push_back(std::move(entry.first));
    }
    return keys;
}

std::vector<std::pair<std::string, std::string>> ReadProfileSection(const std::string& file,
                                                                     const std::string& section) {
    std::lock_guard lock(ProfileMutex());
    const auto document = LoadDocument(file);
    if (!document) {
        return {};
    }
    return ProfileSectionEntries(*document, section);
}

}  // namespace korvane
