#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "host/process.h"
#include "tests/testing/testSupport.h"

namespace OpenShiftSDKWrapper {
namespace {

int RunShell(const std::string& command, std::string& out, std::string& err,
             const ProcessEnv& env = ProcessEnv()) {
  return WqProcess::system(command, out, err, 0, false, env);
}

TEST(WqProcessTest, DrainsLargeOutputOnBothStreamsAtOnce) {
  std::string out, err;
  const int rc = RunShell(
      "head -c 1500000 /dev/zero | tr '\\0' o & "
      "head -c 1300000 /dev/zero | tr '\\0' e >&2; wait",
      out, err);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, std::string(1500000, 'o'));
  EXPECT_EQ(err, std::string(1300000, 'e'));
}

struct ExitCase {
  const char* command;
  int status;
};

class WqProcessExitTest : public ::testing::TestWithParam<ExitCase> {};

TEST_P(WqProcessExitTest, ReturnsExitStatus) {
  std::string out = "stale", err = "stale";
  EXPECT_EQ(RunShell(GetParam().command, out, err), GetParam().status);
  EXPECT_NE(out, "stale");
}

INSTANTIATE_TEST_SUITE_P(Statuses, WqProcessExitTest,
                         ::testing::Values(ExitCase{"true", 0}, ExitCase{"exit 3", 3},
                                           ExitCase{"echo x; exit 255", 255},
                                           ExitCase{"kill -TERM $$", 128 + 15},
                                           ExitCase{"kill -KILL $$", 128 + 9},
                                           ExitCase{"/nonexistent/program", 127}));

TEST(WqProcessTest, EnvironmentEntriesReachOnlyTheChild) {
  wqtest::ScopedEnv existing("WQ_TEST_REPLACED", "parent");
  unsetenv("WQ_TEST_ADDED");
  std::string out, err;
  ASSERT_EQ(RunShell("printf '%s|' \"$WQ_TEST_ADDED\" \"$WQ_TEST_REPLACED\"; "
                     "env | grep -c '^WQ_TEST_REPLACED='",
                     out, err, {{"WQ_TEST_ADDED", "secret"}, {"WQ_TEST_REPLACED", "child"}}),
            0);
  EXPECT_EQ(out, "secret|child|1\n");
  EXPECT_EQ(std::getenv("WQ_TEST_ADDED"), nullptr);
  EXPECT_STREQ(std::getenv("WQ_TEST_REPLACED"), "parent");
}

TEST(WqProcessTest, StdinIsDevNullEvenWhenTheCallersStdinStaysOpen) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const int saved = dup(STDIN_FILENO);
  dup2(fds[0], STDIN_FILENO);  // an open pipe nobody writes to: an inherited stdin would hang
  std::string out, err;
  const int rc = RunShell("timeout 5 cat && echo end", out, err);
  dup2(saved, STDIN_FILENO);
  for (int fd : {saved, fds[0], fds[1]}) close(fd);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, "end\n");
}

TEST(WqProcessTest, ChildDoesNotInheritOtherDescriptors) {
  // Deliberately without O_CLOEXEC, and numbered above what the shell opens itself.
  const int opened = open("/dev/null", O_RDONLY);
  const int leaky = dup2(opened, 57);
  close(opened);
  ASSERT_EQ(leaky, 57);
  std::string out, err;
  ASSERT_EQ(RunShell("for f in /proc/$$/fd/*; do printf '%s ' \"${f##*/}\"; done", out, err), 0);
  close(leaky);
  EXPECT_EQ(out.find(" " + std::to_string(leaky) + " "), std::string::npos) << out;
  EXPECT_EQ(out.rfind("0 1 2 ", 0), 0u) << out;
}

TEST(WqProcessTest, BackgroundProcessHoldingThePipesDoesNotBlockTheReturn) {
  const auto start = std::chrono::steady_clock::now();
  std::string out, err;
  EXPECT_EQ(RunShell("(sleep 3 &); echo started", out, err), 0);
  EXPECT_EQ(out, "started\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
