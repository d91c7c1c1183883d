// Reading the signing key pair file "keyPair.bin".
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace korvane {

inline constexpr const char* kKeyPairFileName = "keyPair.bin";

enum class KeyPairRead {
    kOk,
    kCannotOpen,  // missing, not a plain file, or not readable
    kBadLength,   // not exactly 188 bytes long
    kShortRead,   // fewer than 188 bytes could be read
};

// Reads the whole file into keyPair, which is left unchanged unless the result is kOk.
KeyPairRead ReadKeyPairFile(const std::string& path, std::array<uint8_t, 188>& keyPair);

}  // namespace korvane
