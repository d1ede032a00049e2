// Commands in a pod: the exact command line handed to the process runner, the result taken
// from the runner alone, and the token kept out of the log.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "connection/logContexts.h"
#include "connection/openshiftConnection.h"
#include "host/debugLog.h"
#include "host/process.h"
#include "tests/testing/testSupport.h"

namespace {

using namespace OpenShiftSDKWrapper;  // NOLINT(google-build-using-namespace)

const char* const kToken = "pod-exec-token-0123456789";
const char* const kContext = ConnectionContexts::kExecuteCommandInPod;

class PodExecTest : public ::testing::Test, public wqtest::LogCapture {
 protected:
  void SetUp() override {
    WqProcess::SetRunner(wqtest::SweepRunner(
        [this](const ProcessRequest& request, std::string& out, std::string& err) {
          commands_.push_back(request.command);
          environments_.push_back(request.env);
          out += runnerOut_;
          err += runnerErr_;
          return runnerResult_;
        }));
  }
  void TearDown() override { WqProcess::SetRunner(wqtest::SweepRunner(nullptr)); }

  // Stores the token as a service-account login does, then forgets the login's traces.
  void Login() {
    ASSERT_TRUE(connection_.connectServiceAccount("https://127.0.0.1:9", "sa", kToken,
                                                  std::map<std::string, SSshLoginCreds>()));
    commands_.clear();
    lines_.clear();
  }

  wqtest::ScopedEnv base_{"dBASEHOME", "/opt/agent"};
  std::vector<std::string> commands_;
  std::vector<ProcessEnv> environments_;
  int runnerResult_ = 0;
  std::string runnerOut_;
  std::string runnerErr_;
  WQOpenShiftConnection connection_;
};

struct LineRow {
  const char* label;
  const char* container;
  const char* command;
  const char* line;
};
void PrintTo(const LineRow& row, std::ostream* os) { *os << row.label; }

class PodExecLineTest : public PodExecTest, public ::testing::WithParamInterface<LineRow> {};

TEST_P(PodExecLineTest, BuildsTheCommandLine) {
  Login();
  std::string out;
  std::string err;
  ASSERT_TRUE(connection_.executeCommandInPod("shop", "web-1-abcde", GetParam().container,
                                              GetParam().command, out, err));
  ASSERT_EQ(commands_.size(), 1u);
  EXPECT_EQ(commands_[0], GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PodExecLineTest,
    ::testing::Values(
        LineRow{"no_container", "", "-- ls /data",
                "/opt/agent/wqOpenShiftCLI exec web-1-abcde --token=\"${OCTOKEN}\" -n "
                "shop -- ls /data\n"},
        LineRow{"container", "db", "-- sh -c 'echo hi'",
                "/opt/agent/wqOpenShiftCLI exec web-1-abcde --token=\"${OCTOKEN}\" -n "
                "shop -c db -- sh -c 'echo hi'\n"},
        LineRow{"empty_command", "", "",
                "/opt/agent/wqOpenShiftCLI exec web-1-abcde --token=\"${OCTOKEN}\" -n "
                "shop \n"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(PodExecTest, ResultComesFromTheRunnerNotFromTheText) {
  Login();
  runnerErr_ = "warning on stderr";
  std::string out = "kept ";
  std::string err;
  EXPECT_TRUE(connection_.executeCommandInPod("ns", "pod", "", "-- true", out, err));
  EXPECT_EQ(err, "warning on stderr");
  EXPECT_TRUE(lines_.empty());

  // Nothing printed at all is still a success, unlike a command over SSH.
  runnerErr_.clear();
  out.clear();
  err.clear();
  EXPECT_TRUE(connection_.executeCommandInPod("ns", "pod", "", "-- true", out, err));
  EXPECT_EQ(out + err, "");
}

TEST_F(PodExecTest, FailureIsLoggedWithTheTokenMasked) {
  Login();
  runnerResult_ = 1;
  runnerOut_ = "partial";
  runnerErr_ = "error: pod not found";
  std::string out;
  std::string err;
  EXPECT_FALSE(connection_.executeCommandInPod("ns", "gone", "", "-- date", out, err));
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0].level, "ERROR");
  EXPECT_EQ(lines_[0].context, kContext);
  EXPECT_EQ(lines_[0].message,
            "Failed to execute - [/opt/agent/wqOpenShiftCLI exec gone --token=pod-... -n ns -- "
            "date\n] Out[partial] Err[error: pod not found].");
  // The child gets the whole token, through its environment only.
  EXPECT_EQ(commands_[0].find(kToken), std::string::npos);
  EXPECT_EQ(environments_[0], (ProcessEnv{{"OCTOKEN", kToken}}));
}

TEST_F(PodExecTest, WithoutBaseDirectoryNothingRuns) {
  Login();
  wqtest::ScopedEnv noBase("dBASEHOME", nullptr);
  wqtest::ScopedEnv noConfig("WQOSDK_PLATFORM_CONFIG", "/nonexistent/platform.ini");
  std::string out;
  std::string err;
  EXPECT_FALSE(connection_.executeCommandInPod("ns", "pod", "", "-- date", out, err));
  EXPECT_TRUE(commands_.empty());
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0].message, "Failed to get base location");
}

// Before any login the token is empty and the client still runs; no SSH credentials exist.
TEST_F(PodExecTest, BeforeAnyLogin) {
  std::string out;
  std::string err;
  EXPECT_TRUE(connection_.executeCommandInPod("ns", "pod", "", "-- date", out, err));
  ASSERT_EQ(commands_.size(), 1u);
  EXPECT_EQ(commands_[0],
            "/opt/agent/wqOpenShiftCLI exec pod --token=\"${OCTOKEN}\" -n ns -- date\n");
  EXPECT_FALSE(connection_.executeRemoteCommand("127.0.0.2", "echo x", out, err));
  EXPECT_EQ(lines_.front().message, "Failed to find ssh credentials for [127.0.0.2]");
}

}  // namespace
