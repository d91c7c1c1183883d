// Which terminals a run accepts: when b_checkTUSN is set, a terminal's TUSN must carry the
// configured device type and customer id.
#pragma once

#include <array>

namespace korvane {

struct IdentityCheck {
    int b_checkTUSN = 0;
    std::array<char, 260> customerId{};
    std::array<char, 128> deviceType{};
};

}  // namespace korvane
