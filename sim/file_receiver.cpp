#include "sim/file_receiver.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "sim/wire.h"

namespace korvane::sim {
namespace {

constexpr size_t kRecordSize = 260;
constexpr size_t kRecordText = 256;
constexpr std::string_view kDataPrefix = "handle:";
constexpr std::string_view kFinishPrefix = "finish.handle:";

// A whole decimal number and nothing else.
bool ParseHandle(std::string_view text, int& handle) {
    if (text.empty()) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), handle);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool FileReceiver::Accept(std::span<const uint8_t> payload, std::string& answer, std::optional<ReceivedFile>& done,
                          std::string& refusal) {
    answer.clear();
    if (payload.size() < kRecordSize) {
        refusal = "bad record";
        return false;
    }
    const auto* text_begin = reinterpret_cast<const char*>(payload.data());
    const size_t text_length = strnlen(text_begin, kRecordText);
    if (text_length == kRecordText) {
        refusal = "bad record";  // no NUL inside the text field
        return false;
    }
    const std::string_view text(text_begin, text_length);
    const uint32_t value = ReadLe32(payload.data() + kRecordText);
    const auto chunk = payload.subspan(kRecordSize);
    if (text.starts_with(kFinishPrefix)) {
        return Finish(text.substr(kFinishPrefix.size()), value, chunk, done, refusal);
    }
    if (text.starts_with(kDataPrefix)) {
        return Data(text.substr(kDataPrefix.size()), value, chunk, refusal);
    }
    return Open(std::string(text), value, chunk, answer, refusal);
}

bool FileReceiver::Open(const std::string& path, uint32_t size, std::span<const uint8_t> chunk, std::string& answer,
                        std::string& refusal) {
    if (path.empty() || !chunk.empty()) {
        refusal = "bad record";
        return false;
    }
    if (size > kMaxFileSize) {
        refusal = "file too large";
        return false;
    }
    if (open_.size() >= kMaxOpenFiles) {
        refusal = "too many open files";
        return false;
    }
    const int handle = next_handle_++;
    open_[handle] = OpenFile{path, size, {}};
    answer = "handle:" + std::to_string(handle);
    return true;
}

FileReceiver::OpenFile* FileReceiver::Find(std::string_view handle_text, int& handle) {
    if (!ParseHandle(handle_text, handle)) {
        return nullptr;
    }
    const auto found = open_.find(handle);
    return found == open_.end() ? nullptr : &found->second;
}

bool FileReceiver::Data(std::string_view handle_text, uint32_t declared, std::span<const uint8_t> chunk,
                        std::string& refusal) {
    int handle = 0;
    OpenFile* file = Find(handle_text, handle);
    if (file == nullptr) {
        refusal = "bad handle";
        return false;
    }
    if (chunk.empty() || declared != chunk.size() || declared > kMaxFileChunk) {
        refusal = "bad chunk length";
        return false;
    }
    if (file->data.size() + chunk.size() > file->size) {
        refusal = "too much data";
        return false;
    }
    file->data.insert(file->data.end(), chunk.begin(), chunk.end());
    return true;
}

bool FileReceiver::Finish(std::string_view handle_text, uint32_t value, std::span<const uint8_t> chunk,
                          std::optional<ReceivedFile>& done, std::string& refusal) {
    int handle = 0;
    OpenFile* file = Find(handle_text, handle);
    if (file == nullptr) {
        refusal = "bad handle";
        return false;
    }
    if (value != 0 || !chunk.empty()) {
        refusal = "bad record";
        return false;
    }
    OpenFile finished = std::move(*file);
    open_.erase(handle);
    if (finished.data.size() != finished.size) {
        refusal = "size mismatch";
        return false;
    }
    done = ReceivedFile{std::move(finished.path), std::move(finished.data)};
    return true;
}

}  // namespace korvane::sim
