#include "images/http_client.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "images/response_pieces.h"
#include "images/server_images.h"
#include "platform/trace.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/platform/test_files.h"
#include "sim/image_server/image_server.h"
#include "tests/fixtures/image_server_rig.h"

namespace korvane {
namespace {

using sim::ServeFault;
using testing::ImageServerRig;

TEST(ResponsePiecesTest, ZeroByteDropsOnlyTheRestOfItsPiece) {
    std::string body(3000, 'a');
    body[10] = '\0';    // piece 0: bytes 10..1023 lost
    body[2047] = '\0';  // piece 1: its last byte lost
    ResponsePieces pieces;
    // Delivered in odd chunks: the pieces are fixed offsets of the body, not of the chunks.
    for (size_t at = 0; at < body.size(); at += 700) {
        pieces.Append(body.data() + at, std::min<size_t>(700, body.size() - at));
    }
    EXPECT_EQ(pieces.Finish(), std::string(10, 'a') + std::string(1023, 'a') + std::string(952, 'a'));
}

TEST(ResponsePiecesTest, BodyWithoutZeroComesBackWhole) {
    std::string body;
    for (int i = 0; i < 2500; ++i) {
        body += static_cast<char>('A' + i % 26);
    }
    ResponsePieces pieces;
    pieces.Append(body.data(), body.size());
    EXPECT_EQ(pieces.Finish(), body);
    ResponsePieces empty;
    EXPECT_EQ(empty.Finish(), "");
}

TEST(HttpClientTest, OtherSchemesAreRefusedWithoutTraffic) {
    ImageServerRig rig;
    for (const std::string& url : {"ftp://127.0.0.1:" + std::to_string(rig.server.Port()) + "/images",
                                   std::string("file:///etc/hostname"), std::string("127.0.0.1/images"),
                                   std::string()}) {
        CHttpClient client;
        std::string response = "stale";
        EXPECT_EQ(client.Request(url, "", response), 1) << url;
        EXPECT_EQ(response, "");
    }
    EXPECT_EQ(rig.server.ConnectionCount(), 0);
}

TEST(HttpClientTest, BodyComesBackAsUtf8WithTheAgreedHeaders) {
    ImageServerRig rig;
    const std::string chinese = "\xE5\x9B\xBE\xE5\x83\x8F\xE5\x9C\xB0\xE5\x9D\x80,\xE7\xAC\xAC\xE4\xBA\x8C";  // 图像地址,第二
    rig.server.Serve("/images", chinese);
    CHttpClient client;
    std::string response;
    ASSERT_EQ(client.Request(rig.Url("/images"), "", response), 0);
    EXPECT_EQ(response, chinese);

    const auto requests = rig.server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].userAgent, "KorvaneAppDownload");
    EXPECT_NE(requests[0].head.find("\r\nAccept:application/json;\r\n"), std::string::npos);
    EXPECT_NE(requests[0].head.find("\r\nContent-Type:application/json;charset=utf-8;\r\n"), std::string::npos);
    EXPECT_EQ(requests[0].head.find("multipart"), std::string::npos);
}

TEST(HttpClientTest, RequestBodyRidesAlongWithTheGet) {
    ImageServerRig rig;
    rig.server.Serve("/images", "ok");
    CHttpClient client;
    std::string response;
    ASSERT_EQ(client.Request(rig.Url("/images"), "{\"id\":7}", response), 0);
    EXPECT_EQ(response, "ok");
    const auto requests = rig.server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_NE(requests[0].head.find("\r\nContent-Length: 8\r\n"), std::string::npos);
}

TEST(HttpClientTest, LongBodyArrivesWholeAndZeroBytesFollowThePieceRule) {
    ImageServerRig rig;
    std::string body;
    for (int i = 0; i < 5000; ++i) {
        body += static_cast<char>('a' + i % 26);
    }
    rig.server.Serve("/long", body);
    std::string withZero = body;
    withZero[1030] = '\0';
    rig.server.Serve("/zero", withZero);

    CHttpClient client;
    std::string response;
    ASSERT_EQ(client.Request(rig.Url("/long"), "", response), 0);
    EXPECT_EQ(response, body);
    ASSERT_EQ(client.Request(rig.Url("/zero"), "", response), 0);
    EXPECT_EQ(response, body.substr(0, 1030) + body.substr(2048));
}

TEST(HttpClientTest, AnswerLongerThanTheCapIsRefused) {
    ImageServerRig rig;
    rig.server.Serve("/full", std::string(kMaxResponseBytes, 'u'));
    rig.server.Serve("/over", std::string(kMaxResponseBytes + 1, 'u'));
    CHttpClient client;
    std::string response;
    EXPECT_EQ(client.Request(rig.Url("/full"), "", response), 0);
    EXPECT_EQ(response.size(), kMaxResponseBytes);
    EXPECT_EQ(client.Request(rig.Url("/over"), "", response), 1);
    EXPECT_EQ(response, "");
}

// A failed transfer leaves a trace line naming libcurl's error and the HTTP status.
TEST(HttpClientTest, FailuresAreTraced) {
    testing::TempDir dir;
    const std::string traceFile = dir.Path() + "/trace.txt";
    testing::ScopedEnv file("KORVANE_TRACE_FILE", traceFile);
    TraceReconfigure();
    ImageServerRig rig;
    rig.server.Serve("/short", std::string(100, 'x'), ServeFault::kShortBody);
    CHttpClient client;
    std::string response;
    EXPECT_EQ(client.Request(rig.Url("/short"), "", response), 1);
    std::vector<uint8_t> dest(4096);
    int32_t length = 4096;
    EXPECT_EQ(FetchImage(rig.Url("/missing"), dest.data(), length), 0);
    EXPECT_EQ(FetchImage("http://127.0.0.1:1/img", dest.data(), length), 0);
    TraceReconfigure();

    const std::string trace = testing::ReadBytes(traceFile);
    EXPECT_NE(trace.find("Request failed: curl 18 (transfer closed with 50 bytes remaining to read), HTTP status 200"),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("HTTP status 404"), std::string::npos) << trace;
    EXPECT_NE(trace.find("Image download failed: curl 7 ("), std::string::npos) << trace;
}

TEST(HttpClientTest, TimeOutGivesTwoAndNoText) {
    ImageServerRig rig;
    rig.server.Serve("/images", "late", ServeFault::kSlowAnswer);
    rig.server.SetSlowAnswerMs(3000);
    CHttpClient client(HttpTimeouts{1000, 300});
    std::string response;
    EXPECT_EQ(client.Request(rig.Url("/images"), "", response), 2);
    EXPECT_EQ(response, "");
}

TEST(HttpClientTest, ServerFailuresLeaveTheResponseEmpty) {
    ImageServerRig rig;
    rig.server.Serve("/dropped", "x", ServeFault::kDropConnection);
    rig.server.Serve("/short", std::string(100, 'x'), ServeFault::kShortBody);
    struct Case {
        std::string url;
        int result;
    };
    const Case cases[] = {
        {rig.Url("/dropped"), 0},  // reached, but no answer came back
        {rig.Url("/short"), 1},
        {"http://127.0.0.1:1/images", 1},  // nobody listens there
    };
    for (const Case& c : cases) {
        CHttpClient client;
        std::string response;
        EXPECT_EQ(client.Request(c.url, "", response), c.result) << c.url;
        EXPECT_EQ(response, "") << c.url;
    }
}

TEST(HttpClientTest, NotFoundPageIsStillTheResponse) {
    ImageServerRig rig;
    CHttpClient client;
    std::string response;
    EXPECT_EQ(client.Request(rig.Url("/missing"), "", response), 0);
    EXPECT_EQ(response, "Not Found");
}

class HttpsClientTest : public ::testing::Test {
protected:
    testing::TrustedTestAuthority authority_;
};

TEST_F(HttpsClientTest, TrustedCertificateIsAcceptedEvenForAnotherName) {
    for (const std::vector<std::string>& names :
         {std::vector<std::string>{"IP:127.0.0.1"}, std::vector<std::string>{"DNS:images.other.test"}}) {
        const sim::PemIdentity identity = authority_.Issue(names);
        ImageServerRig rig(&identity);
        rig.server.Serve("/images", "https://a,https://b");
        CHttpClient client;
        std::string response;
        EXPECT_EQ(client.Request(rig.Url("/images"), "", response), 0) << names[0];
        EXPECT_EQ(response, "https://a,https://b");
    }
}

TEST_F(HttpsClientTest, UntrustedCertificateIsRefused) {
    sim::PemIdentity selfSigned;
    std::string error;
    ASSERT_TRUE(sim::MakeSelfSigned({"IP:127.0.0.1"}, selfSigned, error)) << error;
    ImageServerRig rig(&selfSigned);
    rig.server.Serve("/images", "secret");
    CHttpClient client;
    std::string response;
    EXPECT_EQ(client.Request(rig.Url("/images"), "", response), 1);
    EXPECT_EQ(response, "");
    EXPECT_TRUE(rig.server.Requests().empty());
}

TEST_F(HttpsClientTest, RedirectToPlainHttpIsRefused) {
    const sim::PemIdentity identity = authority_.Issue({"IP:127.0.0.1"});
    ImageServerRig plain;
    ImageServerRig secure(&identity);
    plain.server.Serve("/images", "http://a,http://b");
    secure.server.Serve("/images", "https://a,https://b");
    secure.server.Serve("/to-plain", plain.Url("/images"), ServeFault::kRedirect);
    secure.server.Serve("/to-secure", secure.Url("/images"), ServeFault::kRedirect);
    CHttpClient client;
    std::string response;
    EXPECT_EQ(client.Request(secure.Url("/to-secure"), "", response), 0);
    EXPECT_EQ(response, "https://a,https://b");
    EXPECT_EQ(client.Request(secure.Url("/to-plain"), "", response), 1);
    EXPECT_EQ(response, "");
    EXPECT_TRUE(plain.server.Requests().empty());
}

}  // namespace
}  // namespace korvane
