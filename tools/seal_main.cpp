// korvane-seal: makes an image envelope for the image server from a 128-byte header and a
// payload, sealed with the RSA key set of a configuration folder, and prints the MD5 of the
// unwrapped image for [APP] MD5_1 / MD5_2 of DevPath.ini.
//
//   korvane-seal --config-dir DIR --image FILE --out FILE
//   korvane-seal --config-dir DIR --header FILE --payload FILE --out FILE
//
// --image names the unwrapped image (header then payload); --header and --payload name
// the two parts. The key set is read from DIR/DevPath.ini [DATABASE] and
// DIR/KorvaneAppDownload.ini [Security].

#include <cstdio>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/digest.h"
#include "crypto/envelope.h"
#include "crypto/seal.h"
#include "platform/file_replace.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* stream) {
    std::fputs("usage: korvane-seal --config-dir DIR (--image FILE | --header FILE --payload FILE) --out FILE\n"
               "  seals the 128-byte header with the configuration's RSA key set, writes the envelope\n"
               "  (sealed block, then payload) to --out and prints the MD5 of header + payload\n",
               stream);
}

struct Options {
    std::string configDir;
    std::string image;
    std::string header;
    std::string payload;
    std::string out;

    bool Complete() const {
        return !configDir.empty() && !out.empty() && (image.empty() != (header.empty() && payload.empty())) &&
               (header.empty() == payload.empty());
    }
};

// Inputs are images of at most 1 MiB; anything far larger is a wrong file.
constexpr size_t kMaxInputSize = 64u << 20;

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
    const korvane::FileContents contents = korvane::ReadWholeFile(path, kMaxInputSize);
    bytes.assign(contents.bytes.begin(), contents.bytes.end());
    return contents.status == korvane::FileContents::kRead;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// The unwrapped image from --image or from --header and --payload.
bool ReadImage(const Options& options, std::vector<uint8_t>& image) {
    if (!options.image.empty()) {
        if (!ReadFile(options.image, image)) {
            std::fprintf(stderr, "korvane-seal: cannot read %s\n", options.image.c_str());
            return false;
        }
    } else {
        std::vector<uint8_t> payload;
        if (!ReadFile(options.header, image) || !ReadFile(options.payload, payload)) {
            std::fputs("korvane-seal: cannot read the header or the payload\n", stderr);
            return false;
        }
        if (image.size() != korvane::kImageHeader) {
            std::fputs("korvane-seal: the header must be exactly 128 bytes\n", stderr);
            return false;
        }
        image.insert(image.end(), payload.begin(), payload.end());
    }
    if (image.size() < korvane::kImageHeader) {
        std::fputs("korvane-seal: the image is shorter than its 128-byte header\n", stderr);
        return false;
    }
    if (image.size() + korvane::kImageHeader > korvane::kImageBufferCapacity) {
        std::fputs("korvane-seal: the envelope would exceed 1 MiB, the program's limit\n", stderr);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return kExitDone;
        }
        std::string* value = arg == "--config-dir" ? &options.configDir
                             : arg == "--image"    ? &options.image
                             : arg == "--header"   ? &options.header
                             : arg == "--payload"  ? &options.payload
                             : arg == "--out"      ? &options.out
                                                   : nullptr;
        if (value == nullptr || i + 1 >= argc) {
            PrintUsage(stderr);
            return kExitUsage;
        }
        *value = argv[++i];
    }
    if (!options.Complete()) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    korvane::RsaKeyTexts keys;
    std::string error;
    if (!korvane::ReadRsaKeyTexts(options.configDir, keys, error)) {
        std::fprintf(stderr, "korvane-seal: %s\n", error.c_str());
        return kExitFailed;
    }
    std::vector<uint8_t> image;
    if (!ReadImage(options, image)) {
        return kExitFailed;
    }
    const std::span<const uint8_t> bytes(image);
    std::vector<uint8_t> envelope;
    if (!korvane::SealImage(keys, bytes.first(korvane::kImageHeader), bytes.subspan(korvane::kImageHeader),
                            envelope)) {
        std::fputs("korvane-seal: the key set cannot seal (RSA_N / RSA_E)\n", stderr);
        return kExitFailed;
    }
    if (!WriteFile(options.out, envelope)) {
        std::fprintf(stderr, "korvane-seal: cannot write %s\n", options.out.c_str());
        return kExitFailed;
    }
    std::printf("%s\n", korvane::Md5Hex(image.data(), image.size()).c_str());
    return kExitDone;
}
