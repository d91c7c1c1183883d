// The logo bitmap decoder on whole files.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

#include "images/logo_block.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<LogoImage> logo = DecodeLogo(std::span<const uint8_t>(data, size));
    if (logo && logo->pixels.size() != static_cast<size_t>(logo->width) * static_cast<size_t>(logo->height) * 2) {
        std::abort();
    }
    return 0;
}
