// Entry points of the three loadable modules, bound at start-up.
#pragma once

#include "modules/channel/channel_abi.h"
#include "modules/signing/signing_abi.h"
#include "modules/utility/rerizu_abi.h"

namespace korvane {

struct UtilityModule {
#define KORVANE_UTILITY_MEMBER(name) RERizu_##name##Fn name = nullptr;
    RERIZU_ENTRY_POINTS(KORVANE_UTILITY_MEMBER)
#undef KORVANE_UTILITY_MEMBER
};

}  // namespace korvane
