// The system's proxy settings turned into libcurl's: which proxy a scheme takes, and which
// hosts go without one.

#include "images/system_proxy.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

struct ProxyCase {
    const char* name;
    const char* scheme;
    SystemProxyText text;
    std::optional<std::string> proxy;
    std::string no_proxy;
};

class ChooseProxyTest : public ::testing::TestWithParam<ProxyCase> {};

TEST_P(ChooseProxyTest, GivesTheSchemesProxyAndTheBypassList) {
    const ProxyCase& c = GetParam();
    const std::optional<ProxyChoice> choice = ChooseProxy(c.scheme, c.text);
    ASSERT_EQ(choice.has_value(), c.proxy.has_value());
    if (choice) {
        EXPECT_EQ(choice->proxy, *c.proxy);
        EXPECT_EQ(choice->no_proxy, c.no_proxy);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChooseProxyTest,
    ::testing::Values(
        ProxyCase{"OneForAll", "https", {"proxy.line:8080", ""}, "proxy.line:8080", ""},
        ProxyCase{"PerScheme", "https", {"http=a:80;https=b:443", ""}, "b:443", ""},
        ProxyCase{"SchemeLettersInAnyCase", "http", {"HTTP=a:80 https=b:443", ""}, "a:80", ""},
        ProxyCase{"PerSchemeWithoutThisOne", "https", {"http=a:80;ftp=c:21", ""}, std::nullopt, ""},
        ProxyCase{"PlainEntryBesidePerScheme", "https", {"http=a:80;d:3128", ""}, "d:3128", ""},
        ProxyCase{"Blank", "http", {"  ", "<local>"}, std::nullopt, ""},
        ProxyCase{"LocalAndDomains", "http", {"p:1", "<local>;*.corp.example; 10.0.0.5 ;10.*;*x*"}, "p:1",
                  "localhost,127.0.0.1,::1,.corp.example,10.0.0.5"}),
    [](const auto& param_info) { return param_info.param.name; });

}  // namespace
}  // namespace korvane
