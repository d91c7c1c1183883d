// How the sessions sign their packets: the station's key pair, the signing module's entry
// points, the shared signatures of bulk data and the signature store.
// Thread safety: set up at start-up on the front end's thread; during a run only read, by
// every session and by signing ahead (the shared signatures guard themselves).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "modules/signing/signing_abi.h"
#include "modules/utility/utility_module.h"

namespace korvane {

class SignatureCache;

struct SigningSetup {
    std::array<uint8_t, 188> keyPairData{};
    SignFn pfnSign = nullptr;
    // Checks a signature before the shared signatures keep it for every session.
    VerifyFn pfnVerify = nullptr;
    // Bulk-data signatures shared by all sessions; null: every session signs for itself.
    std::shared_ptr<SignatureCache> signatureCache;
    // 1: fixed-content commands take their signatures from the store "SignedData.ini".
    int b_useSignedData = 0;
    std::string signedDataIniPath;
    // The store is read and written through the utility module; unbound: no store.
    const UtilityModule* utility = nullptr;
};

}  // namespace korvane
