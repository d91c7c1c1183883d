/* The signing module's C interface (RODEdar).
 *
 * ECDSA over P-384 with deterministic nonces and SHA-384; the signature is r||s,
 * 48 bytes each. The 188-byte key pair block:
 *   0   4  magic "KVK1"
 *   4  48  private scalar d, big-endian
 *  52  97  public point, uncompressed (0x04 || X || Y)
 * 149  32  SHA-256 of bytes 0..148
 * 181   7  zero
 * Thread safety: sign and verify may run on many threads at once. */
#ifndef KORVANE_SIGNING_ABI_H
#define KORVANE_SIGNING_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { KORVANE_KEYPAIR_SIZE = 188, KORVANE_SIGNATURE_SIZE = 96 };

/* 0 on success; non-zero for a malformed key pair. */
typedef int (*SignFn)(const uint8_t key_pair[188], const uint8_t* data, uint32_t length, uint32_t flags,
                      uint8_t signature[96]);
/* 1 for a valid signature, 0 otherwise (only the public half of the key pair is used). */
typedef int (*VerifyFn)(const uint8_t key_pair[188], const uint8_t* data, uint32_t length, uint32_t flags,
                        const uint8_t signature[96]);

#ifdef __cplusplus
}
#endif

#endif
