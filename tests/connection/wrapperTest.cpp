// The facade's session: the choice between password and service-account login.
#include "tests/connection/connectionTestUtil.h"
#include "wrapper/logContexts.h"
#include "wrapper/openshiftWrapper.h"

namespace conntest {
namespace {

using OpenShiftSDKWrapper::WQOpenShiftSDKWrapper;

const char* const kFacadeConnectContext = OpenShiftSDKWrapper::WrapperContexts::kConnect;

struct RouteRow {
  const char* name;
  const char* user;
  bool serviceAccount;
  const char* accountName;  // service-account rows
};

class FacadeRouteTest : public ConnectionTest, public ::testing::WithParamInterface<RouteRow> {};

TEST_P(FacadeRouteTest, MarkerAtStartSelectsServiceAccount) {
  const RouteRow& row = GetParam();
  WQOpenShiftSDKWrapper sdk;
  const bool result = sdk.Connect(server_.BaseUrl(), row.user, kServiceAccountToken, NoNodes());
  ASSERT_EQ(commands_.size(), 1u);
  const std::string& command = commands_[0].command;
  const bool oauthAsked = server_.CountRequests("GET", "/oauth/authorize") > 0;
  if (row.serviceAccount) {
    EXPECT_TRUE(result);
    EXPECT_FALSE(oauthAsked);
    EXPECT_NE(command.find("--token=\"${OCTOKEN}\""), std::string::npos);
    ASSERT_EQ(commands_[0].env.size(), 1u);
    EXPECT_EQ(commands_[0].env[0].second, kServiceAccountToken);
    EXPECT_TRUE(HasLine("DEBUG", kFacadeConnectContext,
                        std::string("Connect SA [") + row.accountName + "][sa-t...]"));
  } else {
    EXPECT_FALSE(result);  // the server knows none of these users
    EXPECT_TRUE(oauthAsked);
    EXPECT_NE(command.find(std::string("--username='") + row.user + "'"), std::string::npos)
        << command;
    EXPECT_TRUE(LinesWith("Connect SA").empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Users, FacadeRouteTest,
    ::testing::Values(RouteRow{"Named", "@@wqdelim@@builder", true, "builder"},
                      RouteRow{"MarkerOnly", "@@wqdelim@@", true, ""},
                      RouteRow{"MarkerNotAtStart", "x@@wqdelim@@builder", false, ""},
                      RouteRow{"ShorterThanMarker", "@@wqdelim", false, ""},
                      RouteRow{"Empty", "", false, ""}),
    [](const ::testing::TestParamInfo<RouteRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace conntest
