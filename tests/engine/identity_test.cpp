#include "engine/identity.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/fixtures/engine_rig.h"

namespace korvane {
namespace {

// A TUSN of the given length, "000050" then '9's, with the device type and customer id
// at the offsets of its length (20: 8 and 10; 26: 14 and 16).
std::string Tusn(size_t length, const std::string& device_type, const std::string& customer_id) {
    std::string tusn = "000050" + std::string(length - 6, '9');
    const size_t device_at = length == 26 ? 14 : 8;
    tusn.replace(device_at, device_type.size(), device_type);
    tusn.replace(device_at + 2, customer_id.size(), customer_id);
    return tusn;
}

template <size_t N>
void Configure(std::array<char, N>& field, const std::string& value) {
    field.fill(0);
    std::memcpy(field.data(), value.data(), value.size());
}

TEST(CompareIdentity, TableOfTusnsAndConfigurations) {
    const struct {
        const char* name;
        std::string tusn;
        std::string device_type;
        std::string customer_id;
        std::string message;  // empty: the terminal matches
    } cases[] = {
        {"20 matches", Tusn(20, "QV", "K01"), "QV", "K01", ""},
        {"26 matches", Tusn(26, "QV", "K01"), "QV", "K01", ""},
        {"20 other device type", Tusn(20, "QX", "K01"), "QV", "K01", "20 COMPARE DEVICETYPE ERROR"},
        {"26 other device type", Tusn(26, "XV", "K01"), "QV", "K01", "26 COMPARE DEVICETYPE ERROR"},
        {"20 other customer", Tusn(20, "QV", "K02"), "QV", "K01", "20 COMPARE CUSTOMERID ERROR"},
        {"26 other customer names the terminal's", Tusn(26, "QV", "K02"), "QV", "K01",
         "26 COMPARE CUSTOMERID ERROR:K02"},
        {"device type decides first", Tusn(26, "XX", "YYY"), "QV", "K01", "26 COMPARE DEVICETYPE ERROR"},
        {"case matters", Tusn(20, "qv", "K01"), "QV", "K01", "20 COMPARE DEVICETYPE ERROR"},
        {"20 fields sit at 8 and 10 only", "00005099999999QVK019", "QV", "K01", "20 COMPARE DEVICETYPE ERROR"},
        {"26 fields sit at 14 and 16 only", "00005099QVK01" + std::string(13, '9'), "QV", "K01",
         "26 COMPARE DEVICETYPE ERROR"},
        {"only the first two and three configured characters count", Tusn(20, "QV", "K01"), "QVZ", "K01Z", ""},
        {"one-character device type never matches", Tusn(20, "Q9", "K01"), "Q", "K01", "20 COMPARE DEVICETYPE ERROR"},
        {"two-character customer id never matches", Tusn(26, "QV", "K09"), "QV", "K0",
         "26 COMPARE CUSTOMERID ERROR:K09"},
        {"21 characters", Tusn(20, "QV", "K01") + "9", "QV", "K01", "DEVICE TUSN LENGTH ERROR:"},
        {"25 characters", Tusn(26, "QV", "K01").substr(1), "QV", "K01", "DEVICE TUSN LENGTH ERROR:"},
        {"empty", "", "QV", "K01", "DEVICE TUSN LENGTH ERROR:"},
        {"length counts up to the NUL", Tusn(20, "QV", "K01") + std::string(1, '\0') + "999999", "QV", "K01", ""},
    };
    for (const auto& c : cases) {
        testing::SessionRig rig;
        Configure(rig.plan.identity.deviceType, c.device_type);
        Configure(rig.plan.identity.customerId, c.customer_id);
        const int result = compare_identity(rig.session, c.tusn);
        if (c.message.empty()) {
            EXPECT_EQ(result, 0) << c.name;
            EXPECT_TRUE(rig.view.Log().empty()) << c.name;
        } else {
            EXPECT_EQ(result, 1) << c.name;
            EXPECT_EQ(rig.view.Log(), std::vector<std::string>{"SetResult 7 0 600 " + c.message}) << c.name;
        }
    }
}

TEST(CompareIdentity, ConfiguredValueFillingItsWholeBufferIsReadNoFurther) {
    testing::SessionRig rig;
    rig.plan.identity.deviceType.fill('Q');
    rig.plan.identity.customerId.fill('K');
    EXPECT_EQ(compare_identity(rig.session, Tusn(20, "QQ", "KKK")), 0);
}

}  // namespace
}  // namespace korvane
