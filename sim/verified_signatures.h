// A signature check that remembers what it accepted: the terminals of one simulator
// receive the same packets over and over, so each distinct (signed region, signature) pair
// is judged by the wrapped check once and accepted from memory afterwards; terminals asking
// for a pair that is being judged wait for that judgement. Refusals are not remembered (they
// are rare and cheap to repeat).
// Bound: at most kVerifiedLimit pairs (about 10 MiB); at the bound the memory is emptied and
// fills again from the next packets.
// Thread safety: Verify may run on every terminal's thread at once (one lock around the
// memory; the wrapped check runs outside it, on the thread of the first asker).
#pragma once

#include <memory>

#include "sim/signature_check.h"

namespace korvane::sim {

inline constexpr size_t kVerifiedLimit = 65536;

std::unique_ptr<SignatureCheck> RememberAccepted(std::unique_ptr<SignatureCheck> check,
                                                 size_t limit = kVerifiedLimit);

}  // namespace korvane::sim
