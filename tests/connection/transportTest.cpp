// REST requests over real HTTPS: what is sent, the resend on an "Unauthorized" body,
// failures, and the time-outs that keep a dead or silent server from blocking a call.
#include <chrono>

#include "tests/connection/connectionTestUtil.h"

namespace conntest {
namespace {

using OpenShiftSDKWrapper::HTTP_DELETE;
using OpenShiftSDKWrapper::HTTP_GET;
using OpenShiftSDKWrapper::HTTP_POST;
using OpenShiftSDKWrapper::HTTP_PUT;
using OpenShiftSDKWrapper::HTTP_REQ_TYPE;
using OpenShiftSDKWrapper::WQOpenShiftConnection;
using wqsim::ScriptedAnswer;

const char* const kPath = "/api/v1/persistentvolumes";

using TransportTest = ConnectionTest;

TEST_F(TransportTest, QueryBeforeConnectFailsAndSendsNothing) {
  WQOpenShiftConnection connection;
  std::string response = "untouched";
  EXPECT_FALSE(connection.get(kPath, response));
  EXPECT_FALSE(connection.post(kPath, "{}", response));
  EXPECT_EQ(response, "untouched");
  EXPECT_TRUE(HasLine("ERROR", kSendReqContext,
                      "Connect module has to be called before making any queries."));
  EXPECT_TRUE(server_.Requests().empty());
}

struct MethodRow {
  HTTP_REQ_TYPE type;
  const char* method;
  const char* body;
  const char* bodySent;
};

class TransportMethodTest : public ConnectionTest,
                            public ::testing::WithParamInterface<MethodRow> {};

TEST_P(TransportMethodTest, SendsExactUrlHeadersAndBody) {
  const MethodRow& row = GetParam();
  server_.Script(row.method, kPath, ScriptedAnswer::Json(200, "{\"kind\":\"X\"}"));
  WQOpenShiftConnection connection;
  ASSERT_TRUE(LoginServiceAccount(connection));
  std::string response;
  ASSERT_TRUE(connection.sendReq(row.type, kPath, row.body, response));
  EXPECT_EQ(response, "{\"kind\":\"X\"}");

  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const wqsim::RecordedRequest& sent = requests[0];
  EXPECT_EQ(sent.method, row.method);
  EXPECT_EQ(sent.target, kPath);
  EXPECT_EQ(sent.body, row.bodySent);
  EXPECT_EQ(sent.Header("Authorization"), std::string("Bearer ") + kServiceAccountToken);
  EXPECT_EQ(sent.Header("Accept"), "application/json");
  EXPECT_EQ(sent.Header("Content-Type"), "application/json;charset=UTF-8");
  EXPECT_FALSE(sent.HasHeader("Expect"));
  EXPECT_FALSE(sent.HasHeader("X-CSRF-Token"));
  EXPECT_TRUE(HasLine("DEBUG0", OpenShiftSDKWrapper::ConnectionContexts::kSendReqTrace,
                      std::string("Http request URL [") + std::to_string(row.type) + "] [" +
                          server_.BaseUrl() + kPath + "], body [" + row.body + "]"));
  EXPECT_TRUE(HasLine("DEBUG2", OpenShiftSDKWrapper::ConnectionContexts::kSendReqTrace,
                      "Response [{\"kind\":\"X\"}]"));
}

// A GET never carries a body, even when one is given.
INSTANTIATE_TEST_SUITE_P(Methods, TransportMethodTest,
                         ::testing::Values(MethodRow{HTTP_GET, "GET", "{\"ignored\":true}", ""},
                                           MethodRow{HTTP_POST, "POST", "{\"a\":1}", "{\"a\":1}"},
                                           MethodRow{HTTP_PUT, "PUT", "{\"b\":2}", "{\"b\":2}"},
                                           MethodRow{HTTP_DELETE, "DELETE",
                                                     "{\"kind\":\"DeleteOptions\"}",
                                                     "{\"kind\":\"DeleteOptions\"}"},
                                           MethodRow{HTTP_DELETE, "DELETE", "", ""}));

TEST_F(TransportTest, PathIsAppendedVerbatimAndConnectionIsReused) {
  WQOpenShiftConnection connection;
  ASSERT_TRUE(connection.connectServiceAccount(server_.BaseUrl() + "/", "builder",
                                               kServiceAccountToken, NoNodes()));
  server_.SetDefaultHandler([](const wqsim::RecordedRequest&, wqsim::Reply& reply) {
    reply.body = "{}";
    return true;
  });
  std::string response;
  ASSERT_TRUE(connection.get("/oapi/v1/projects?limit=1", response));
  ASSERT_TRUE(connection.get("/oapi/v1/projects", response));
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target, "//oapi/v1/projects?limit=1");
  // One TLS connection serves both requests.
  EXPECT_EQ(requests[0].remotePort, requests[1].remotePort);
}

struct ResendRow {
  const char* name;
  std::vector<std::string> bodies;  // answers in order
  size_t sends;
  size_t retryLines;
  const char* response;
};

class ResendTest : public ConnectionTest, public ::testing::WithParamInterface<ResendRow> {};

TEST_P(ResendTest, OnlyTheExactUnauthorizedBodyIsResentOnce) {
  const ResendRow& row = GetParam();
  for (const std::string& body : row.bodies) {
    server_.Script("GET", kPath, ScriptedAnswer::Text(200, body).Times(1));
  }
  WQOpenShiftConnection connection;
  ASSERT_TRUE(LoginServiceAccount(connection));
  std::string response;
  EXPECT_TRUE(connection.get(kPath, response));
  EXPECT_EQ(response, row.response);
  EXPECT_EQ(server_.CountRequests("GET", kPath), row.sends);
  EXPECT_EQ(LinesWith("Token out of date, retry ", "DEBUG0").size(), row.retryLines);
  const auto requests = server_.Requests();
  for (const auto& request : requests) {
    EXPECT_EQ(request.Header("Authorization"), std::string("Bearer ") + kServiceAccountToken);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, ResendTest,
    ::testing::Values(
        ResendRow{"OnceThenData", {"Unauthorized", "{\"ok\":1}"}, 2, 1, "{\"ok\":1}"},
        ResendRow{"Twice", {"Unauthorized", "Unauthorized", "{}"}, 2, 2, "Unauthorized"},
        ResendRow{"LowerCase", {"unauthorized", "{}"}, 1, 0, "unauthorized"},
        ResendRow{"TrailingBlank", {"Unauthorized ", "{}"}, 1, 0, "Unauthorized "},
        ResendRow{"TrailingNewline", {"Unauthorized\n", "{}"}, 1, 0, "Unauthorized\n"}),
    [](const ::testing::TestParamInfo<ResendRow>& info) { return std::string(info.param.name); });

TEST_F(TransportTest, FailureStatusReturnsBodyAndLogsBothLines) {
  const std::string notFound =
      "{\"kind\":\"Status\",\"apiVersion\":\"v1\",\"metadata\":{},\"status\":\"Failure\","
      "\"message\":\"persistentvolumes \\\"x\\\" not "
      "found\",\"reason\":\"NotFound\",\"code\":404}\n";
  server_.Script("POST", kPath, ScriptedAnswer::Json(404, notFound));
  WQOpenShiftConnection connection;
  ASSERT_TRUE(LoginServiceAccount(connection));
  std::string response;
  EXPECT_FALSE(connection.post(kPath, "{\"p\":1}", response));
  EXPECT_EQ(response, notFound);
  const std::string url = server_.BaseUrl() + kPath;
  EXPECT_TRUE(HasLine("ERROR", kSendReqContext,
                      "API failed. operation [1]. URL[" + url + "]. Body [{\"p\":1}]. Response [" +
                          notFound + "]"));
  EXPECT_TRUE(HasLine("ERROR", kSendReqContext, "req body[{\"p\":1}]"));
  EXPECT_EQ(server_.CountRequests("POST", kPath), 1u);
}

TEST_F(TransportTest, RejectedTokenGetsTheStatusBodyWithoutResend) {
  WQOpenShiftConnection connection;
  ASSERT_TRUE(
      connection.connectServiceAccount(server_.BaseUrl(), "builder", "expired-token", NoNodes()));
  std::string response;
  EXPECT_FALSE(connection.get(kPath, response));
  EXPECT_EQ(response, wqsim::kUnauthorizedStatusBody);
  EXPECT_EQ(server_.CountRequests("GET", kPath), 1u);
  // A GET logs only the first failure line.
  EXPECT_TRUE(LinesWith("req body[").empty());
}

TEST_F(TransportTest, MissingBodyIsReadAsEmpty) {
  server_.Script("GET", kPath, ScriptedAnswer::NoBody(200));
  WQOpenShiftConnection connection;
  ASSERT_TRUE(LoginServiceAccount(connection));
  std::string response = "stale";
  EXPECT_TRUE(connection.get(kPath, response));
  EXPECT_EQ(response, "");
  EXPECT_TRUE(
      HasLine("DEBUG2", OpenShiftSDKWrapper::ConnectionContexts::kSendReqTrace, "Response []"));
}

}  // namespace
}  // namespace conntest
