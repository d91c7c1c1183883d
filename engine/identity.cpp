#include "engine/identity.h"

#include <span>
#include <string>

namespace korvane {
namespace {

constexpr size_t kDeviceTypeLength = 2;
constexpr size_t kCustomerIdLength = 3;

struct TusnLayout {
    size_t length;
    size_t device_type_at;
    size_t customer_id_at;
};

constexpr TusnLayout kLayouts[] = {
    {20, 8, 10},
    {26, 14, 16},
};

// strncmp(field, configured, n) == 0: byte by byte, stopping at the first NUL on either
// side; the configured text ends at its buffer's end at the latest.
bool FieldMatches(std::string_view tusn, size_t at, std::span<const char> configured, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const char device = tusn[at + i];
        const char wanted = i < configured.size() ? configured[i] : '\0';
        if (device != wanted) {
            return false;
        }
        if (device == '\0') {
            return true;
        }
    }
    return true;
}

// The mismatch message, or empty when the TUSN matches.
std::string Mismatch(const IdentityCheck& check, std::string_view tusn) {
    for (const TusnLayout& layout : kLayouts) {
        if (tusn.size() != layout.length) {
            continue;
        }
        const std::string prefix = std::to_string(layout.length);
        if (!FieldMatches(tusn, layout.device_type_at, check.deviceType, kDeviceTypeLength)) {
            return prefix + " COMPARE DEVICETYPE ERROR";
        }
        if (!FieldMatches(tusn, layout.customer_id_at, check.customerId, kCustomerIdLength)) {
            // The long form names the customer id the terminal carries.
            return layout.length == 26
                       ? prefix + " COMPARE CUSTOMERID ERROR:" + std::string(tusn.substr(layout.customer_id_at, kCustomerIdLength))
                       : prefix + " COMPARE CUSTOMERID ERROR";
        }
        return {};
    }
    return "DEVICE TUSN LENGTH ERROR:";
}

}  // namespace

int compare_identity(Session& s, std::string_view tusn) {
    tusn = tusn.substr(0, tusn.find('\0'));
    const std::string message = Mismatch(s.plan->identity, tusn);
    if (message.empty()) {
        return 0;
    }
    const int code = kIdentityResultCode;
    s.Events().Result(static_cast<int>(s.nPort), false, &code, message, false);
    if (s.view != nullptr) {
        s.view->SetResult(static_cast<int>(s.nPort), 0, &code, message);
    }
    return 1;
}

}  // namespace korvane
