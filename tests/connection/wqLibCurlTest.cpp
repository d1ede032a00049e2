// The HTTP client's own contract: redirects, per-request state and credentials that
// never outlive the header list they were appended to.
#include "connection/wqLibCurl.h"
#include "tests/connection/connectionTestUtil.h"

namespace conntest {
namespace {

using OpenShiftSDKWrapper::HTTP_GET;
using OpenShiftSDKWrapper::HTTP_HDR_STANDARD;
using OpenShiftSDKWrapper::HTTP_HDR_USERPWD;
using OpenShiftSDKWrapper::HTTP_POST;
using OpenShiftSDKWrapper::WQLibCurl;
using wqsim::ScriptedAnswer;

class LibCurlTest : public ConnectionTest {
 protected:
  void SetUp() override {
    ConnectionTest::SetUp();
    server_.SetRequireBearer(false);
    ASSERT_TRUE(client_.WQLibCurlInit("Content-Type: application/json", true, true, nullptr));
  }

  bool Get(const std::string& path) {
    const std::string url = server_.BaseUrl() + path;
    return client_.WQLibCurlSendHttpReq(HTTP_GET, url.c_str(), nullptr, 0, false, nullptr);
  }

  std::string Body() {
    size_t length = 0;
    const char* text = client_.GetHttpResponse(length, false);
    return text == nullptr ? "<null>" : std::string(text, length);
  }

  WQLibCurl client_;
};

TEST_F(LibCurlTest, RedirectIsNotFollowedAndReportedAsFailure) {
  server_.Script("GET", "/a", ScriptedAnswer::NoBody(302).WithHeader("Location", "/b"));
  server_.Script("GET", "/c", ScriptedAnswer::Json(200, "{}"));
  EXPECT_FALSE(Get("/a"));
  EXPECT_EQ(client_.GetHttpErrorCode(), 302);
  EXPECT_STREQ(client_.GetHttpResponseHeader("location"), "/b");
  EXPECT_EQ(server_.CountRequests("GET", "/b"), 0u);
  // Status, headers and body belong to the last response only.
  EXPECT_TRUE(Get("/c"));
  EXPECT_EQ(client_.GetHttpErrorCode(), 200);
  EXPECT_STREQ(client_.GetHttpResponseHeader("Location"), "");
  EXPECT_EQ(Body(), "{}");
  EXPECT_FALSE(Get("/missing"));
  EXPECT_EQ(client_.GetHttpErrorCode(), 404);
}

TEST_F(LibCurlTest, NoBodyReadsAsNull) {
  WQLibCurl fresh;
  size_t length = 7;
  EXPECT_EQ(fresh.GetHttpResponse(length, false), nullptr);
  EXPECT_EQ(length, 0u);
  server_.Script("GET", "/empty", ScriptedAnswer::NoBody(200));
  EXPECT_TRUE(Get("/empty"));
  EXPECT_EQ(Body(), "<null>");
}

TEST_F(LibCurlTest, InitHeaderLeadsTheListUntilFreed) {
  server_.Script("GET", "/x", ScriptedAnswer::Json(200, "{}").Times(2));
  ASSERT_TRUE(Get("/x"));
  client_.WQLibCurlFreeHttpHeaderList();
  ASSERT_TRUE(Get("/x"));
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/json");
  EXPECT_FALSE(requests[1].HasHeader("Content-Type"));
}

TEST_F(LibCurlTest, CredentialsLastUntilTheListIsFreed) {
  ASSERT_TRUE(client_.WQLibCurlAppendHeader(HTTP_HDR_USERPWD, "developer:pw"));
  Get("/one");
  Get("/two");
  client_.WQLibCurlFreeHttpHeaderList();
  ASSERT_TRUE(client_.WQLibCurlAppendHeader(HTTP_HDR_STANDARD, "Accept: application/json"));
  Get("/three");
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].Header("Authorization"), "Basic ZGV2ZWxvcGVyOnB3");
  EXPECT_EQ(requests[1].Header("Authorization"), "Basic ZGV2ZWxvcGVyOnB3");
  EXPECT_FALSE(requests[2].HasHeader("Authorization"));
  EXPECT_EQ(requests[2].Header("Accept"), "application/json");
}

TEST_F(LibCurlTest, RefusesHeaderTextThatCouldSmuggleHeaders) {
  EXPECT_FALSE(client_.WQLibCurlAppendHeader(HTTP_HDR_STANDARD, "X-A: 1\r\nX-B: 2"));
  EXPECT_FALSE(client_.WQLibCurlAppendHeader(HTTP_HDR_STANDARD, "no colon"));
  EXPECT_FALSE(client_.WQLibCurlAppendHeader(HTTP_HDR_STANDARD, nullptr));
  EXPECT_FALSE(client_.WQLibCurlAppendHeader(HTTP_HDR_USERPWD, "nocolon"));
}

}  // namespace
}  // namespace conntest
