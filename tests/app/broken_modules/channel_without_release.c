/* A channel module that lacks ReleaseChannel: start-up must refuse it as if it were missing. */
#include "modules/channel/channel_abi.h"

__attribute__((visibility("default"))) int32_t CreateChannel(IChannel** slot, uint32_t reserved) {
    (void)reserved;
    *slot = 0;
    return 0;
}
