// The RSA key set that opens image envelopes, as the configuration stores it.
#pragma once

#include <string>

namespace korvane {

// The eight RSA key texts of [DATABASE] and [Security], as 8-bit hex text.
struct RsaKeyTexts {
    std::string n, e, d, p, q, dp, dq, qp;
};

}  // namespace korvane
