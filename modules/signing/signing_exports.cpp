// The signing module's two entry points over ec_key. The curve and the checked key pairs are
// kept between calls (they never change a result), and nothing below them throws.

#include "modules/signing/signing_abi.h"
#include "modules/module_export.h"

#include "modules/signing/ec_key.h"

#include <type_traits>

namespace {

constexpr int kBadArguments = 5;

std::span<const uint8_t> DataOf(const uint8_t* data, uint32_t length) {
    return length == 0 ? std::span<const uint8_t>() : std::span<const uint8_t>(data, length);
}

}  // namespace

KORVANE_MODULE_EXPORT int sign(const uint8_t key_pair[188], const uint8_t* data, uint32_t length, uint32_t /*flags*/,
                        uint8_t signature[96]) {
    if (key_pair == nullptr || signature == nullptr || (data == nullptr && length > 0)) {
        return kBadArguments;
    }
    const auto status = korvane::SignWithKeyPair(std::span<const uint8_t, korvane::kKeyPairSize>(key_pair, 188),
                                                  DataOf(data, length),
                                                  std::span<uint8_t, korvane::kSignatureSize>(signature, 96));
    return static_cast<int>(status);
}

KORVANE_MODULE_EXPORT int verify(const uint8_t key_pair[188], const uint8_t* data, uint32_t length, uint32_t /*flags*/,
                          const uint8_t signature[96]) {
    if (key_pair == nullptr || signature == nullptr || (data == nullptr && length > 0)) {
        return 0;
    }
    return korvane::VerifyWithKeyPair(std::span<const uint8_t, korvane::kKeyPairSize>(key_pair, 188),
                                      DataOf(data, length),
                                      std::span<const uint8_t, korvane::kSignatureSize>(signature, 96))
               ? 1
               : 0;
}

static_assert(std::is_same_v<decltype(&sign), SignFn>);
static_assert(std::is_same_v<decltype(&verify), VerifyFn>);
