// korvane-keygen: makes a new P-384 key pair block and writes it to keyPair.bin.
//
//   korvane-keygen [--out PATH] [--force]
//
// The file holds the private key, so it is created readable by its owner only, and an
// existing file is kept unless --force is given.

#include "modules/signing/keypair.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Options {
    std::string out = "keyPair.bin";
    bool force = false;
};

void PrintUsage(std::FILE* stream) {
    std::fputs("usage: korvane-keygen [--out PATH] [--force]\n"
               "  --out PATH  where to write the 188-byte key pair (default ./keyPair.bin)\n"
               "  --force     replace an existing file\n",
               stream);
}

enum class Parsed { kRun, kHelp, kBad };

Parsed ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            return Parsed::kHelp;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--out" && i + 1 < argc) {
            options.out = argv[++i];
        } else if (arg.starts_with("--out=")) {
            options.out = std::string(arg.substr(6));
        } else {
            return Parsed::kBad;
        }
    }
    return options.out.empty() ? Parsed::kBad : Parsed::kRun;
}

bool WriteKeyPair(const Options& options, const korvane::KeyPairBlock& block, std::string& error) {
    // "x": fail instead of replacing a key pair that terminals may already trust.
    std::FILE* file = std::fopen(options.out.c_str(), options.force ? "wb" : "wbx");
    if (file == nullptr) {
        std::error_code ignored;
        error = std::filesystem::exists(options.out, ignored) && !options.force
                    ? "already exists (use --force to replace it)"
                    : "cannot be created";
        return false;
    }
    std::error_code permissions_error;
    std::filesystem::permissions(options.out, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::replace, permissions_error);
    const bool written = !permissions_error && std::fwrite(block.data(), 1, block.size(), file) == block.size();
    if (std::fclose(file) != 0 || !written) {
        std::filesystem::remove(options.out, permissions_error);
        error = "could not be written";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    switch (ParseOptions(argc, argv, options)) {
    case Parsed::kHelp:
        PrintUsage(stdout);
        return kExitDone;
    case Parsed::kBad:
        PrintUsage(stderr);
        return kExitUsage;
    case Parsed::kRun:
        break;
    }
    const auto block = korvane::GenerateKeyPair();
    if (!block) {
        std::fputs("korvane-keygen: the random generator failed\n", stderr);
        return kExitFailed;
    }
    std::string error;
    if (!WriteKeyPair(options, *block, error)) {
        std::fprintf(stderr, "korvane-keygen: %s %s\n", options.out.c_str(), error.c_str());
        return kExitFailed;
    }
    std::printf("wrote %s (%zu bytes)\n", options.out.c_str(), block->size());
    return kExitDone;
}
