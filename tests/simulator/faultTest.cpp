// Faults injected per method and path: scripted answers take priority over the cluster, and
// the live faults let the cluster act but spoil or delay its answer.
#include <chrono>

#include "tests/simulator/simulatorTestUtil.h"

namespace wqsim {
namespace testing {
namespace {

const char* const kSecrets = "/api/v1/namespaces/demo/secrets";
const char* const kSecret = "/api/v1/namespaces/demo/secrets/s";

class FaultTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    StartCluster();
    ASSERT_EQ(201, Post(kSecrets, R"({"metadata":{"name":"s"}})").status);
  }
};

struct InjectedStatusRow {
  int code;
  const char* reason;
};

class InjectedStatusTest : public FaultTest,
                           public ::testing::WithParamInterface<InjectedStatusRow> {};

TEST_P(InjectedStatusTest, AnswersTheStatusForItsCountThenTheClusterAgain) {
  simulator_->InjectStatus("GET", kSecret, GetParam().code, 2);
  for (int i = 0; i < 2; ++i) {
    const HttpResult failed = Call("GET", kSecret);
    EXPECT_EQ(GetParam().code, failed.status);
    EXPECT_EQ(GetParam().reason, At(ParsedObject(failed.body), "reason"));
    EXPECT_EQ(std::to_string(GetParam().code), At(ParsedObject(failed.body), "code"));
  }
  EXPECT_EQ(200, Call("GET", kSecret).status);
  // Other methods on the same path were never affected.
  EXPECT_EQ(1u, simulator_->Server().CountRequests("POST", kSecrets));
}

INSTANTIATE_TEST_SUITE_P(Codes, InjectedStatusTest,
                         ::testing::Values(InjectedStatusRow{500, "InternalError"},
                                           InjectedStatusRow{503, "ServiceUnavailable"},
                                           InjectedStatusRow{403, "Forbidden"},
                                           InjectedStatusRow{409, "Conflict"}));

TEST_F(FaultTest, ScriptedAnswersTakePriorityOverTheCluster) {
  simulator_->InjectUnauthorizedBody("GET", kSecret);
  HttpResult result = Call("GET", kSecret);
  EXPECT_EQ(200, result.status);
  EXPECT_EQ("Unauthorized", result.body);

  simulator_->InjectNonJsonBody("GET", kSecret);
  result = Call("GET", kSecret);
  EXPECT_EQ(200, result.status);
  EXPECT_TRUE(ParsedObject(result.body).empty()) << result.body;

  simulator_->InjectDrop("DELETE", kSecret);
  result = Call("DELETE", kSecret);
  EXPECT_NE(CURLE_OK, result.code);
  // The dropped request never reached the cluster.
  EXPECT_EQ(200, Call("GET", kSecret).status);
}

TEST_F(FaultTest, TruncatedAnswerFollowsAnActionTheClusterTook) {
  simulator_->InjectTruncatedBody("POST", kSecrets);
  const HttpResult created = Post(kSecrets, R"({"metadata":{"name":"t"},"data":{"k":"dg=="}})");
  EXPECT_EQ(201, created.status);
  EXPECT_TRUE(ParsedObject(created.body).empty()) << created.body;
  const HttpResult stored = Call("GET", "/api/v1/namespaces/demo/secrets/t");
  EXPECT_EQ(200, stored.status);
  EXPECT_EQ(stored.body.substr(0, created.body.size()), created.body);
}

TEST_F(FaultTest, DelayedAnswerArrivesLate) {
  simulator_->InjectDelay("GET", kSecret, std::chrono::milliseconds(400));
  const auto start = std::chrono::steady_clock::now();
  const HttpResult late = Call("GET", kSecret);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(200, late.status);
  EXPECT_EQ("s", At(ParsedObject(late.body), "metadata/name"));
  EXPECT_GE(waited, std::chrono::milliseconds(400));
}

TEST_F(FaultTest, RequestsWithoutAKnownTokenAreUnauthorized) {
  const HttpResult result = Send(simulator_->BaseUrl(), simulator_->Server().TrustPem(), "GET",
                                 kSecret, std::string(), "not-a-token");
  EXPECT_EQ(401, result.status);
  EXPECT_EQ(std::string(kUnauthorizedStatusBody), result.body);
}

}  // namespace
}  // namespace testing
}  // namespace wqsim
