#include "app/key_pair_file.h"
#include "platform/file_path.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace korvane {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

KeyPairRead ReadKeyPairFile(const std::string& path, std::array<uint8_t, 188>& keyPair) {
    std::error_code error;
    // A folder or a device by that name is no key file, and a FIFO would never end a read.
    if (!std::filesystem::is_regular_file(PathFromUtf8(path), error)) {
        return KeyPairRead::kCannotOpen;
    }
    std::unique_ptr<std::FILE, FileCloser> file(OpenFile(path, "rb"));
    if (!file) {
        return KeyPairRead::kCannotOpen;
    }
    const std::uintmax_t size = std::filesystem::file_size(PathFromUtf8(path), error);
    if (error || size != keyPair.size()) {
        return KeyPairRead::kBadLength;
    }
    std::array<uint8_t, 188> bytes{};
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        return KeyPairRead::kShortRead;
    }
    keyPair = bytes;
    return KeyPairRead::kOk;
}

}  // namespace korvane
