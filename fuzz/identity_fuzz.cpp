// A terminal's TUSN against the configured device type and customer id.
// Input: configured device type (piece), customer id (piece), then the TUSN.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/identity.h"
#include "fuzz/fuzz_input.h"
#include "tests/fixtures/recording_port_view.h"

using namespace korvane;

namespace {

template <size_t N>
void Configure(std::array<char, N>& field, std::span<const uint8_t> text) {
    field.fill('\0');
    std::copy_n(text.begin(), std::min(text.size(), N - 1), field.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader input({data, size});
    DownloadPlan plan;
    Configure(plan.identity.deviceType, input.Piece());
    Configure(plan.identity.customerId, input.Piece());
    const std::string tusn = fuzz::InputReader::AsText(input.Rest());
    testing::RecordingPortView view;
    Session session;
    session.plan = &plan;
    session.view = &view;
    const int result = compare_identity(session, tusn);
    const size_t length = tusn.find('\0') == std::string::npos ? tusn.size() : tusn.find('\0');
    if (result == 0 && length != 20 && length != 26) {
        std::abort();
    }
    return 0;
}
