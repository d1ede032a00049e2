// The wqosctl program with its built-in cluster, as an operator starts it: it runs itself
// again inside the storage-node sandbox, and its secrets never reach an argument vector or
// its output; and the demo's whole cycle.
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/testing/programRunner.h"

namespace {

using wqtest::Result;

Result Tool(const std::vector<std::string>& args, const wqtest::Environment& env) {
  std::vector<std::string> command = {WQOSCTL_PROGRAM};
  command.insert(command.end(), args.begin(), args.end());
  return wqtest::Run(command, env);
}

class BuiltInCluster : public testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "the built-in cluster needs root";
  }
};

// The command in the pod prints the argument vector of every process of the sandbox,
// wqosctl's own among them, while the login's secret is still in wqosctl's memory.
TEST_F(BuiltInCluster, SecretsReachNoArgumentVectorAndNoOutput) {
  const std::string password = wqtest::UniqueSecret("builtin");
  wqtest::Environment env = wqtest::CleanEnv();
  env["WQOSCTL_PASSWORD"] = password;
  const Result result =
      Tool({"exec", "web", "-n", "demo", "--user", "alice", "-v", "--", "sh", "-c",
            "for f in /proc/[0-9]*/cmdline; do tr '\\0' ' ' < $f; echo; done"},
           env);
  ASSERT_EQ(result.code, 0) << result.all();
  EXPECT_NE(result.out.find(WQOSCTL_PROGRAM " exec web -n demo --user alice"), std::string::npos)
      << "the tool run again inside the sandbox is among the processes:\n"
      << result.out;
  EXPECT_NE(result.out.find("sshd"), std::string::npos) << result.out;
  EXPECT_EQ(result.all().find(password), std::string::npos) << result.all();
}

TEST_F(BuiltInCluster, AFailingCommandEndsWithItsExitCode) {
  const Result missing = Tool({"get", "dc", "nosuch", "-n", "demo"}, wqtest::CleanEnv());
  EXPECT_EQ(missing.code, 1) << missing.all();
  EXPECT_NE(missing.err.find("built-in cluster at https://127.0.0.1:"), std::string::npos);
  EXPECT_NE(missing.err.find("deployment config \"nosuch\" not found"), std::string::npos);
}

TEST_F(BuiltInCluster, DemoRestoresEveryFileAndObject) {
  const auto started = std::chrono::steady_clock::now();
  const Result demo = Tool({"demo"}, wqtest::CleanEnv());
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
          .count();
  EXPECT_EQ(demo.code, 0) << demo.all();
  EXPECT_NE(demo.err.find(" checks passed, 0 failed"), std::string::npos) << demo.err;
  EXPECT_EQ(demo.err.find("check FAILED"), std::string::npos) << demo.err;
  EXPECT_LT(seconds, 120) << "the demo is meant to finish in under two minutes";
}

}  // namespace
