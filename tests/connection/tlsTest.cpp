// Server certificate checks: verified against a configured CA bundle, refused with a
// clear error against the wrong one, and unverified with a warning when none is set.
#include "tests/connection/connectionTestUtil.h"

namespace conntest {
namespace {

using OpenShiftSDKWrapper::WQOpenShiftConnection;

const char* const kPath = "/oapi/v1/projects";
const char* const kNotVerified = "the server certificate is not verified";

class TlsTest : public ConnectionTest {
 protected:
  TlsTest() { serverOptions_.signWithCa = true; }

  void SetUp() override {
    ConnectionTest::SetUp();
    server_.SetDefaultHandler([](const wqsim::RecordedRequest&, wqsim::Reply& reply) {
      reply.body = "{\"kind\":\"ProjectList\"}";
      return true;
    });
  }

  bool GetThrough(const std::string& url) {
    WQOpenShiftConnection connection;
    if (!connection.connectServiceAccount(url, "builder", kServiceAccountToken, NoNodes())) {
      return false;
    }
    std::string response;
    return connection.get(kPath, response);
  }
};

TEST_F(TlsTest, VerifiesAgainstCaNamedBySetting) {
  const std::string ca = base_.path() + "/cluster-ca.pem";
  ASSERT_TRUE(server_.WriteTrustPem(ca));
  wqtest::ScopedEnv caFile("WQOSDK_CA_FILE", ca.c_str());
  // The certificate names both the address and the host name.
  EXPECT_TRUE(GetThrough(server_.BaseUrl()));
  EXPECT_TRUE(GetThrough("https://localhost:" + std::to_string(server_.Port())));
  EXPECT_TRUE(LinesWith(kNotVerified).empty());
  EXPECT_FALSE(LinesWith("Verifying the server certificate with CA file [" + ca + "]").empty());
}

TEST_F(TlsTest, VerifiesAgainstCaInBaseDirectory) {
  ASSERT_TRUE(server_.WriteTrustPem(base_.path() + "/openshift-ca.crt"));
  EXPECT_TRUE(GetThrough(server_.BaseUrl()));
  EXPECT_TRUE(LinesWith(kNotVerified).empty());
}

TEST_F(TlsTest, WrongCaFailsWithTheReason) {
  wqsim::TestServer other;
  ASSERT_TRUE(other.Start());
  const std::string wrongCa = base_.path() + "/other-ca.pem";
  ASSERT_TRUE(other.WriteTrustPem(wrongCa));
  // The right CA in the base directory does not help: the setting wins.
  ASSERT_TRUE(server_.WriteTrustPem(base_.path() + "/openshift-ca.crt"));
  wqtest::ScopedEnv caFile("WQOSDK_CA_FILE", wrongCa.c_str());

  EXPECT_FALSE(GetThrough(server_.BaseUrl()));
  EXPECT_FALSE(LinesWith("SSL certificate problem", "ERROR").empty());
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(TlsTest, WithoutCaConnectsUnverifiedAndWarnsOncePerLogin) {
  WQOpenShiftConnection connection;
  ASSERT_TRUE(connection.connect(server_.BaseUrl(), kUser, kPassword, NoNodes()));
  std::string response;
  EXPECT_TRUE(connection.get(kPath, response));
  EXPECT_TRUE(connection.get(kPath, response));
  EXPECT_EQ(LinesWith(kNotVerified).size(), 1u);
  ASSERT_TRUE(LoginServiceAccount(connection));
  EXPECT_EQ(LinesWith(kNotVerified).size(), 2u);
  const auto warnings = LinesWith(kNotVerified);
  EXPECT_NE(warnings[0].message.find(base_.path() + "/openshift-ca.crt"), std::string::npos);
  EXPECT_NE(warnings[0].message.find("WQOSDK_CA_FILE"), std::string::npos);
}

}  // namespace
}  // namespace conntest
