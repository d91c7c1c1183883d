// RSA-2048 key sets for opening image envelopes, as the configuration stores them.
// Thread safety: no shared state; calls may run at once (each makes its own generator).
#pragma once

#include <string>

#include "crypto/rsa_key_texts.h"

namespace korvane {

// A fresh key set with E = 65537, as upper-case hex texts: N and D with exactly 512
// digits (D padded with leading zeros), E as "10001", P, Q, DP, DQ and QP without leading
// zeros. False when the random generator or the key generation fails.
bool GenerateRsaKeySet(RsaKeyTexts& keys);

// Writes RSA_N, RSA_E and RSA_D into DIR/DevPath.ini [DATABASE] and RSA_P, RSA_Q, RSA_DP,
// RSA_DQ and RSA_QP into DIR/KorvaneAppDownload.ini [Security], keeping every other line
// (a missing file is created). False with the file that could not be written in error.
bool WriteRsaKeySet(const std::string& configDir, const RsaKeyTexts& keys, std::string& error);

}  // namespace korvane
