// Image envelopes under a fixed key set. Most inputs are sealed first, so that the fuzzer
// chooses what the opened block holds (padding, separator, header, digest) rather than
// bytes the RSA step turns into noise.
// Input: mode (byte); mode 0: the raw envelope; mode 1: the block's message (piece) and
// the payload; mode 2: a whole block to seal as it is (piece) and the payload.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "crypto/envelope.h"
#include "crypto/seal.h"
#include "fuzz/fuzz_input.h"
#include "tests/fixtures/rsa_test_keys.h"

using namespace korvane;

namespace {

// The sealed block for a chosen encoded block; the first byte is cleared so it lies below N.
bool SealChosen(const OpenedBlock& encoded, std::vector<uint8_t>& envelope) {
    OpenedBlock below = encoded;
    below[0] = 0;
    OpenedBlock sealed{};
    if (!SealBlock(testing::TestRsaKeys(), below, sealed)) {
        return false;
    }
    envelope.assign(sealed.begin(), sealed.end());
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader input({data, size});
    const uint8_t mode = input.Byte() % 3;
    std::vector<uint8_t> envelope;
    if (mode == 0) {
        const auto raw = input.Rest();
        envelope.assign(raw.begin(), raw.end());
    } else {
        const auto chosen = input.Piece();
        OpenedBlock encoded{};
        if (mode == 1) {
            const auto message = chosen.first(std::min(chosen.size(), kLongestBlockMessage));
            if (!EncodeType2(message, kLongestBlockMessage - message.size(), encoded)) {
                std::abort();
            }
        } else {
            std::copy_n(chosen.begin(), std::min(chosen.size(), encoded.size()), encoded.begin());
        }
        if (!SealChosen(encoded, envelope)) {
            return 0;
        }
        const auto payload = input.Rest();
        envelope.insert(envelope.end(), payload.begin(), payload.end());
    }
    OpenedBlock opened{};
    if (VerifyImageEnvelope(testing::TestRsaKeys(), envelope, opened) != 1) {
        return 0;
    }
    std::vector<uint8_t> buffer = envelope;
    buffer.resize(envelope.size() + 64);
    int32_t length = static_cast<int32_t>(envelope.size());
    if (!UnwrapImage(buffer, length, opened) || static_cast<size_t>(length) != envelope.size() - kImageHeader) {
        std::abort();
    }
    return 0;
}
