// Signatures of the packets' signed regions, from the signing module or from the
// signature store "SignedData.ini" [AppLoad Info].
// Thread safety: runs on every session thread at once; the store's reads and writes go
// through the utility module, which serialises them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvane {

class CKorvaneAppDownloadApp;

// True for the bulk-data commands that are always signed by the library and never stored.
bool IsBulkCommand(uint32_t cmd);
// The store key of a fixed-content command ("48", "2.1", "35.256").
std::string StoreKeyFor(const uint8_t* signed_region, size_t size);
// Signs the signed region (packet bytes 100 .. 267 + n) into signature[96].
void dataSign(CKorvaneAppDownloadApp* app, const uint8_t* signed_region, size_t size, uint8_t* signature);

}  // namespace korvane
