// The P-384 curve of the process: loaded once, with the precomputed tables of its generator
// built on first use, and one blinding generator seeded once.
// Thread safety: SharedCurve may be called from any thread; the group it returns is only
// read after it was made ready, so any number of threads may sign and verify with it at
// once. BlindingGenerate serialises its callers.
#pragma once

#include <cstddef>

#include <mbedtls/ecp.h>

namespace korvane {

// The ready curve, or null when loading it or seeding the blinding generator failed
// (every later call gives the same answer). mbedTLS takes the group by non-const pointer,
// but nothing changes it once its generator tables exist.
mbedtls_ecp_group* SharedCurve();

// For mbedTLS calls that take a generator function and its context (pass null as the
// context): blinding values for the arithmetic, which no result depends on.
int BlindingGenerate(void* unused, unsigned char* output, size_t length);

}  // namespace korvane
