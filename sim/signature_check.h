// How a simulated terminal judges packet signatures.
// Thread safety: Verify may run on every terminal's thread at once.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace korvane::sim {

class SignatureCheck {
public:
    virtual ~SignatureCheck() = default;
    // True when signature (96 bytes) signs the region (packet bytes 100 .. end of payload).
    virtual bool Verify(std::span<const uint8_t> signed_region, std::span<const uint8_t> signature) const = 0;
};

// The terminal's own ECDSA verification with the public half of a 188-byte key-pair file,
// judging each distinct packet once (see verified_signatures.h). Null with a message when
// the file is unreadable, has the wrong size or magic, or its public point is not on the curve.
std::unique_ptr<SignatureCheck> LoadKeySignatureCheck(const std::string& key_file, std::string& error);

// The same with the signing module's "verify" in place of the terminal's own, to judge the
// module's verification too. Null with a message when the module, its entry point or the key
// file is unusable.
std::unique_ptr<SignatureCheck> LoadModuleSignatureCheck(const std::string& module_path, const std::string& key_file,
                                                         std::string& error);

// The 188 bytes of a key-pair file; false with a message when it cannot be read or has
// another size.
bool ReadKeyPairFile(const std::string& path, std::array<uint8_t, 188>& key_pair, std::string& error);

}  // namespace korvane::sim
