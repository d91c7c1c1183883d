#include <array>
#include <fstream>
#include <iterator>
#include <vector>

#include "modules/signing/signing_abi.h"
#include "platform/dynlib.h"
#include "sim/signature_check.h"
#include "sim/verified_signatures.h"

namespace korvane::sim {
namespace {

class ModuleSignatureCheck final : public SignatureCheck {
public:
    ModuleSignatureCheck(VerifyFn verify, const std::array<uint8_t, KORVANE_KEYPAIR_SIZE>& key_pair)
        : verify_(verify), key_pair_(key_pair) {}

    bool Verify(std::span<const uint8_t> signed_region, std::span<const uint8_t> signature) const override {
        if (signature.size() != KORVANE_SIGNATURE_SIZE) {
            return false;
        }
        return verify_(key_pair_.data(), signed_region.data(), static_cast<uint32_t>(signed_region.size()), 0,
                       signature.data()) == 1;
    }

private:
    VerifyFn verify_;
    std::array<uint8_t, KORVANE_KEYPAIR_SIZE> key_pair_;
};

}  // namespace

bool ReadKeyPairFile(const std::string& path, std::array<uint8_t, 188>& key_pair, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open key pair " + path;
        return false;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() != key_pair.size()) {
        error = "key pair " + path + " is " + std::to_string(bytes.size()) + " bytes, not 188";
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), key_pair.begin());
    return true;
}

std::unique_ptr<SignatureCheck> LoadModuleSignatureCheck(const std::string& module_path, const std::string& key_file,
                                                         std::string& error) {
    std::array<uint8_t, KORVANE_KEYPAIR_SIZE> key_pair{};
    if (!ReadKeyPairFile(key_file, key_pair, error)) {
        return nullptr;
    }
    // The module stays loaded for the life of the process, as the program's modules do.
    ModuleHandle module = LoadModule(module_path);
    if (module == nullptr) {
        error = "cannot load " + module_path + ": " + LastModuleError();
        return nullptr;
    }
    auto verify = reinterpret_cast<VerifyFn>(FindSymbol(module, "verify"));
    if (verify == nullptr) {
        error = module_path + " has no entry point \"verify\"";
        return nullptr;
    }
    return RememberAccepted(std::make_unique<ModuleSignatureCheck>(verify, key_pair));
}

}  // namespace korvane::sim
