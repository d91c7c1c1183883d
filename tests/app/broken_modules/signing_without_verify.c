/* A signing module that lacks "verify": start-up must refuse it although nothing calls verify. */
#include <stdint.h>

__attribute__((visibility("default"))) int sign(const uint8_t key_pair[188], const uint8_t* data, uint32_t length,
                                                uint32_t flags, uint8_t signature[96]) {
    (void)key_pair;
    (void)data;
    (void)length;
    (void)flags;
    (void)signature;
    return 1;
}
