#include "engine/data_sign.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "engine/signature_cache.h"
#include "engine/signing_setup.h"
#include "engine/packet.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace korvane {
namespace {

// Offsets inside the signed region, which starts at packet byte 100.
constexpr size_t kRegionLength = kLengthOffset - kSignedRegionOffset;
constexpr size_t kRegionCmd = kCmdOffset - kSignedRegionOffset;
constexpr size_t kRegionPayload = kHeaderSize - kSignedRegionOffset;

constexpr uint32_t kStoreValueCapacity = 1024;  // UTF-16 units, terminator included
constexpr size_t kStoreNarrowLimit = 512;

// The u32 at payload word `word`, when the region holds it.
std::optional<uint32_t> PayloadWord(const uint8_t* region, size_t size, size_t word) {
    const size_t at = kRegionPayload + 4 * word;
    if (size < at + 4) {
        return std::nullopt;
    }
    return GetU32(region + at);
}

uint32_t RegionWord(const uint8_t* region, size_t size, size_t at) { return size >= at + 4 ? GetU32(region + at) : 0; }

void TraceRegion(const uint8_t* region, size_t size) {
    const uint32_t cmd = RegionWord(region, size, kRegionCmd);
    const uint32_t length = RegionWord(region, size, kRegionLength);
    KTRACE("dataSign, psData->cmd = %d\n", static_cast<int>(cmd));
    KTRACE("dataSign, psData->length = %d\n", static_cast<int>(length));
    KTRACE("dataSign, param size = %d\n", static_cast<int>(size));
    KTRACE("dataSign, data Len = %d\n", static_cast<int>(length - kHeaderSize));
    if (TraceEnabled()) {
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string line = "dataSign, data::";
        line.reserve(line.size() + 2 * size + 1);
        for (size_t i = 0; i < size; ++i) {
            line += kDigits[region[i] >> 4];
            line += kDigits[region[i] & 0x0F];
        }
        line += '\n';
        TraceWrite(line);
    }
    if (cmd == kCmdAutoRun && size > kRegionPayload) {
        KTRACE("dataSign, autoRunData = %c\n", static_cast<char>(region[kRegionPayload]));
    } else if (cmd == kCmdImage || cmd == kCmdLogo) {
        KTRACE("dataSign, psImgBlock->addr = 0x%x\n", PayloadWord(region, size, 0).value_or(0));
        KTRACE("dataSign, psImgBlock->len = %d\n", static_cast<int>(PayloadWord(region, size, 1).value_or(0)));
    } else if (cmd == kCmdPartitionInit) {
        KTRACE("dataSign, initPlusData.startAddr = %d\n", static_cast<int>(PayloadWord(region, size, 1).value_or(0)));
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The stored value of key, as narrow text; nothing when the utility module is not bound.
std::optional<std::string> ReadStore(const SigningSetup& setup, const std::string& key) {
    if (setup.utility == nullptr || setup.utility->GetIniStringW == nullptr) {
        return std::nullopt;
    }
    const std::u16string section = Utf8ToUtf16(kStoreSection);
    const std::u16string key16 = Utf8ToUtf16(key);
    const std::u16string file = Utf8ToUtf16(setup.signedDataIniPath);
    std::array<char16_t, kStoreValueCapacity> value{};
    uint32_t capacity = kStoreValueCapacity;
    setup.utility->GetIniStringW(section.c_str(), key16.c_str(), nullptr, value.data(), &capacity, file.c_str());
    value.back() = u'\0';
    std::string narrow = Utf16ToUtf8(value.data());
    if (narrow.size() > kStoreNarrowLimit) {
        narrow.resize(kStoreNarrowLimit);
    }
    return narrow;
}

void WriteStore(const SigningSetup& setup, const std::string& key, const std::string& hex) {
    if (setup.utility == nullptr || setup.utility->WriteIniStringW == nullptr) {
        return;
    }
    const std::u16string section = Utf8ToUtf16(kStoreSection);
    const std::u16string key16 = Utf8ToUtf16(key);
    const std::u16string value = Utf8ToUtf16(hex);
    const std::u16string file = Utf8ToUtf16(setup.signedDataIniPath);
    setup.utility->WriteIniStringW(section.c_str(), key16.c_str(), value.c_str(), file.c_str());
}

// Store signing: the recorded signature of a fixed-content command, when there is a
// complete one.
bool SignFromStore(const SigningSetup& setup, const std::string& key, uint8_t* signature) {
    const std::optional<std::string> value = ReadStore(setup, key);
    if (value && SignatureFromHex(*value, signature)) {
        return true;
    }
    KTRACE("dataSign, no complete stored signature for %s, signing with the library\n", key.c_str());
    return false;
}

// True when the library produced a signature; a refusal (malformed key pair) or a missing
// library leaves the signature as it was.
bool SignWithLibrary(const SigningSetup& setup, const uint8_t* region, size_t size, uint8_t* signature) {
    if (setup.pfnSign == nullptr) {
        KTRACE("dataSign, no signing library bound\n");
        return false;
    }
    const int result = setup.pfnSign(setup.keyPairData.data(), region, static_cast<uint32_t>(size), 0, signature);
    if (result != 0) {
        KTRACE("dataSign, sign refused the key pair (%d)\n", result);
    }
    return result == 0;
}

// Bulk data through the shared signatures: false only when the caller stopped while
// waiting for another's signature of the same region.
bool SignShared(const SigningSetup& setup, const uint8_t* region, size_t size, uint8_t* signature,
                const StopCheck& stopped) {
    if (setup.pfnSign == nullptr) {
        KTRACE("dataSign, no signing library bound\n");
        return true;
    }
    const SharedSignOutcome outcome =
        setup.signatureCache->Sign(setup.pfnSign, setup.pfnVerify, setup.keyPairData, std::span<const uint8_t>(region, size),
                                 std::span<uint8_t, kSignatureSize>(signature, kSignatureSize), stopped);
    if (outcome == SharedSignOutcome::kRefused) {
        KTRACE("dataSign, sign refused the key pair\n");
    }
    return outcome != SharedSignOutcome::kStopped;
}

}  // namespace

bool IsBulkCommand(uint32_t cmd) {
    return cmd == kCmdImage || cmd == kCmdLogo || cmd == kCmdFile || cmd == kCmdAmr;
}

std::string StoreKeyFor(const uint8_t* signed_region, size_t size) {
    const uint32_t cmd = RegionWord(signed_region, size, kRegionCmd);
    char key[48];
    if (cmd == kCmdAutoRun && size > kRegionPayload) {
        std::snprintf(key, sizeof key, "%d.%c", static_cast<int>(cmd), static_cast<char>(signed_region[kRegionPayload]));
    } else if (const auto start = PayloadWord(signed_region, size, 1); cmd == kCmdPartitionInit && start) {
        std::snprintf(key, sizeof key, "%d.%d", static_cast<int>(cmd), static_cast<int>(*start));
    } else {
        std::snprintf(key, sizeof key, "%d", static_cast<int>(cmd));
    }
    return key;
}

std::string SignatureToHex(const uint8_t* signature) {
    std::string hex(kStoreValueDigits, '0');
    static constexpr char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < kSignatureSize; ++i) {
        hex[2 * i] = kDigits[signature[i] >> 4];
        hex[2 * i + 1] = kDigits[signature[i] & 0x0F];
    }
    return hex;
}

bool SignatureFromHex(std::string_view text, uint8_t* signature) {
    if (text.size() < kStoreValueDigits) {
        return false;
    }
    std::array<uint8_t, kSignatureSize> bytes{};
    for (size_t i = 0; i < kSignatureSize; ++i) {
        const int high = HexValue(text[2 * i]);
        const int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    std::memcpy(signature, bytes.data(), bytes.size());
    return true;
}

bool dataSign(const SigningSetup* signing, const uint8_t* signed_region, size_t size, uint8_t* signature,
              const StopCheck& stopped) {
    TraceRegion(signed_region, size);
    const uint32_t cmd = RegionWord(signed_region, size, kRegionCmd);
    if (IsBulkCommand(cmd)) {
        if (signing->signatureCache) {
            return SignShared(*signing, signed_region, size, signature, stopped);
        }
        SignWithLibrary(*signing, signed_region, size, signature);
        return true;
    }
    const std::string key = StoreKeyFor(signed_region, size);
    const bool store_signing = signing->b_useSignedData == 1;
    if (store_signing && SignFromStore(*signing, key, signature)) {
        return true;
    }
    // Only library signing records its signatures. Store signing that found no usable value
    // still sends the library's, but never writes it: the station's key pair need not be
    // the one the terminals trust, and a written value would be used by every later run.
    // A signature the library did not make is never recorded.
    if (!SignWithLibrary(*signing, signed_region, size, signature) || store_signing) {
        return true;
    }
    const std::string hex = SignatureToHex(signature);
    KTRACE("signData, result::%s\n", hex.c_str());
    WriteStore(*signing, key, hex);
    return true;
}

}  // namespace korvane
