#include "crypto/digest.h"

#include <array>
#include <cstdio>

#include <mbedtls/md5.h>
#include <mbedtls/sha256.h>

#include "platform/trace.h"

namespace korvane {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void LowerCaseAscii(std::string& text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
}

}  // namespace

std::string Md5Hex(const uint8_t* data, size_t length) {
    // The digest lives on this call's stack, so concurrent callers never share it.
    std::array<uint8_t, 16> digest{};
    mbedtls_md5_ret(data, length, digest.data());
    std::string hex;
    hex.reserve(digest.size() * 2);
    for (uint8_t byte : digest) {
        hex.push_back(kHexDigits[byte >> 4]);
        hex.push_back(kHexDigits[byte & 0x0F]);
    }
    return hex;
}

bool CheckImageMd5(const uint8_t* image, int32_t length, std::string& expected) {
    if (image == nullptr || length <= 0) {
        return false;
    }
    const std::string computed = Md5Hex(image, static_cast<size_t>(length));
    // Three pieces per value, as the factory's trace readers expect them.
    KTRACE("unicodeCalc::");
    KTRACE("%s", computed.c_str());
    KTRACE("\n");
    KTRACE("unicodeINI::");
    KTRACE("%s", expected.c_str());
    KTRACE("\n");
    LowerCaseAscii(expected);
    return computed == expected;
}

void Sha256(const uint8_t* data, size_t length, uint8_t digest[32]) {
    mbedtls_sha256_ret(data, length, digest, 0);
}

}  // namespace korvane
