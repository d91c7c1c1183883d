// How a simulated terminal judges packet signatures.
// Thread safety: Verify may run on every terminal's thread at once.
#pragma once

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

// The signing module's "verify" with the public half of a 188-byte key-pair file, judging
// each distinct packet once (see verified_signatures.h).
// Null with a message when the module, its entry point or the key file is unusable.
std::unique_ptr<SignatureCheck> LoadModuleSignatureCheck(const std::string& module_path, const std::string& key_file,
                                                         std::string& error);

// Where the program looks for the signing module: beside its own executable.
std::string DefaultSigningModulePath();

}  // namespace korvane::sim
