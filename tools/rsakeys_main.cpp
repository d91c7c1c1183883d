// korvane-rsakeys: makes a new RSA-2048 key set for opening image envelopes and writes it
// into a configuration folder.
//
//   korvane-rsakeys --config-dir DIR
//
// N, E and D go to DIR/DevPath.ini [DATABASE], the five CRT values to
// DIR/KorvaneAppDownload.ini [Security]; the other lines of both files stay.

#include <cstdio>
#include <string>
#include <string_view>

#include "tools/rsa_keyset.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* stream) {
    std::fputs("usage: korvane-rsakeys --config-dir DIR\n"
               "  writes RSA_N, RSA_E, RSA_D into DIR/DevPath.ini [DATABASE] and\n"
               "  RSA_P, RSA_Q, RSA_DP, RSA_DQ, RSA_QP into DIR/KorvaneAppDownload.ini [Security]\n",
               stream);
}

}  // namespace

int main(int argc, char** argv) {
    std::string configDir;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return kExitDone;
        }
        if (arg == "--config-dir" && i + 1 < argc) {
            configDir = argv[++i];
        } else {
            PrintUsage(stderr);
            return kExitUsage;
        }
    }
    if (configDir.empty()) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    korvane::RsaKeyTexts keys;
    if (!korvane::GenerateRsaKeySet(keys)) {
        std::fputs("korvane-rsakeys: the key generation failed\n", stderr);
        return kExitFailed;
    }
    std::string error;
    if (!korvane::WriteRsaKeySet(configDir, keys, error)) {
        std::fprintf(stderr, "korvane-rsakeys: %s could not be written\n", error.c_str());
        return kExitFailed;
    }
    std::printf("wrote the RSA key set into %s\n", configDir.c_str());
    return kExitDone;
}
