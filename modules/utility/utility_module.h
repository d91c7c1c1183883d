// The utility module's entry points as the program binds them at start-up.
#pragma once

#include "modules/utility/rerizu_abi.h"

namespace korvane {

struct UtilityModule {
#define KORVANE_UTILITY_MEMBER(name) RERizu_##name##Fn name = nullptr;
    RERIZU_ENTRY_POINTS(KORVANE_UTILITY_MEMBER)
#undef KORVANE_UTILITY_MEMBER
};

}  // namespace korvane
