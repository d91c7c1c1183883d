// Signatures of the packets' signed regions, from the signing module or from the
// signature store "SignedData.ini" [AppLoad Info].
// Thread safety: runs on every session thread at once; the signing module allows concurrent
// calls, the shared signatures guard themselves and the utility module serialises the
// store's reads and writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/signature_cache.h"

namespace korvane {

struct SigningSetup;

inline constexpr char kStoreSection[] = "AppLoad Info";
inline constexpr size_t kStoreValueDigits = 192;  // 96 signature bytes as lower-case hex

// True for the bulk-data commands (0, 11, 37, 44) that are always signed by the library
// and never stored: their payload differs from packet to packet.
bool IsBulkCommand(uint32_t cmd);
// The store key of a fixed-content command ("48", "2.1", "35.256"), from the signed region
// (packet bytes 100 .. 267 + n).
std::string StoreKeyFor(const uint8_t* signed_region, size_t size);
// 192 lower-case hex digits of a 96-byte signature, and back: false (signature untouched)
// unless the text begins with 192 hex digits.
std::string SignatureToHex(const uint8_t* signature);
bool SignatureFromHex(std::string_view text, uint8_t* signature);
// Signs the signed region (packet bytes 100 .. 267 + n) into signature[96]. A bulk-data
// region comes from the set-up's shared signatures when there are any; a caller that
// has to wait there for another's computation gives up once stopped() is true. False only
// then (signature untouched).
bool dataSign(const SigningSetup* signing, const uint8_t* signed_region, size_t size, uint8_t* signature,
              const StopCheck& stopped = {});

}  // namespace korvane
