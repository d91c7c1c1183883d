// Image digests and their hex text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvane {

// Lower-case hex text of the MD5 of a buffer (32 characters).
std::string Md5Hex(const uint8_t* data, size_t length);
// True when the MD5 hex text of the image equals expected, letter case aside. expected is
// lower-cased in place (A-Z only). Length 0 gives false without traces.
bool CheckImageMd5(const uint8_t* image, int32_t length, std::string& expected);
// SHA-256 of a byte string.
void Sha256(const uint8_t* data, size_t length, uint8_t digest[32]);

}  // namespace korvane
