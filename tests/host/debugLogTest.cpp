#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <sstream>
#include <vector>

#include "host/debugLog.h"
#include "tests/testing/testSupport.h"

namespace OpenShiftSDKWrapper {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Sends the default log (not the secrets sweep's) to a fresh file at the given verbosity
// for one test.
class DebugLogFileTest : public ::testing::Test {
 protected:
  void SetUp() override { DebugLog::SetSink(nullptr); }
  void UseLevel(const char* level) {
    env_level_.emplace("WQOSDK_LOG_LEVEL", level);
    DebugLog::ReloadSettings();
  }
  void TearDown() override {
    env_level_.reset();
    env_file_.reset();
    DebugLog::ReloadSettings();
    DebugLog::SetSink(wqtest::SweepSink(nullptr));
  }
  std::string Written() const { return wqtest::ReadFile(path_); }

  wqtest::TempDir dir_;
  std::string path_ = dir_.path() + "/agent.log";
  std::optional<wqtest::ScopedEnv> env_file_{std::in_place, "WQOSDK_LOG_FILE", path_.c_str()};
  std::optional<wqtest::ScopedEnv> env_level_;
  DebugLog log_;
};

TEST_F(DebugLogFileTest, WritesOneFormattedLinePerCall) {
  UseLevel(nullptr);
  log_.Error("bool X::F(const string&)", "failed [%s] code %d", "pod", 42);
  log_.Debug("ctx", "plain");
  log_.DebugLvl("sendReq", 0, "progress");
  const std::vector<std::string> lines = Lines(Written());
  ASSERT_EQ(lines.size(), 3u);
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )";
  EXPECT_TRUE(std::regex_match(
      lines[0],
      std::regex(stamp + R"(ERROR \[bool X::F\(const string&\)\] failed \[pod\] code 42)")))
      << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(stamp + R"(DEBUG \[ctx\] plain)"))) << lines[1];
  EXPECT_TRUE(std::regex_match(lines[2], std::regex(stamp + R"(DEBUG0 \[sendReq\] progress)")))
      << lines[2];
}

struct LevelCase {
  const char* setting;
  size_t lines;  // of: Error, Debug, DebugLvl 0, 1, 2, 3
};

class DebugLogLevelTest : public DebugLogFileTest,
                          public ::testing::WithParamInterface<LevelCase> {};

TEST_P(DebugLogLevelTest, VerbosityFiltersLeveledLinesOnly) {
  UseLevel(GetParam().setting);
  log_.Error("c", "e");
  log_.Debug("c", "d");
  for (int level = 0; level <= 3; ++level) log_.DebugLvl("c", level, "level %d", level);
  EXPECT_EQ(Lines(Written()).size(), GetParam().lines) << Written();
}

INSTANTIATE_TEST_SUITE_P(Settings, DebugLogLevelTest,
                         ::testing::Values(LevelCase{nullptr, 3}, LevelCase{"0", 3},
                                           LevelCase{"2", 5}, LevelCase{"9", 6},
                                           LevelCase{"junk", 3}));

TEST_F(DebugLogFileTest, SinkReceivesEveryLineAndTheFileNone) {
  UseLevel("0");
  std::vector<LogLine> seen;
  DebugLog::SetSink(wqtest::SweepSink([&seen](const LogLine& line) { seen.push_back(line); }));
  log_.DebugLvl("executeRemoteCommand", 5, "host %s", "10.0.0.1");
  log_.Error("ctx", "bad");
  DebugLog::SetSink(nullptr);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].level, "DEBUG5");
  EXPECT_EQ(seen[0].verbosity, 5);
  EXPECT_EQ(seen[0].context, "executeRemoteCommand");
  EXPECT_EQ(seen[0].message, "host 10.0.0.1");
  EXPECT_EQ(seen[1].verbosity, -1);
  EXPECT_EQ(FormatLogLine(seen[1]), seen[1].time + " ERROR [ctx] bad");
  EXPECT_EQ(Written(), "");
}

TEST_F(DebugLogFileTest, HugeMessageIsWrittenWhole) {
  UseLevel("2");
  const std::string body(size_t{20} * 1024 * 1024, 'x');
  log_.DebugLvl("sendReq", 2, "Response: %s.", body.c_str());
  const std::string written = Written();
  const std::string tail = "] Response: " + body + ".\n";
  ASSERT_GE(written.size(), tail.size());
  EXPECT_EQ(written.compare(written.size() - tail.size(), tail.size(), tail), 0);
  EXPECT_EQ(Lines(written).size(), 1u);
}

TEST_F(DebugLogFileTest, ConcurrentProcessesNeverSplitALine) {
  UseLevel("0");
  const std::string payload(8000, 'p');
  std::vector<pid_t> children;
  for (int child = 0; child < 4; ++child) {
    const pid_t pid = fork();
    if (pid == 0) {
      for (int i = 0; i < 100; ++i) log_.Debug("writer", "%d %s", child, payload.c_str());
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) waitpid(pid, nullptr, 0);
  const std::vector<std::string> lines = Lines(Written());
  ASSERT_EQ(lines.size(), 400u);
  // std::regex recurses per character, so long lines are checked by hand.
  for (const std::string& line : lines) {
    const size_t head = line.find(" DEBUG [writer] ");
    ASSERT_NE(head, std::string::npos);
    ASSERT_EQ(line.substr(head + 16), line.substr(head + 16, 2) + payload);
  }
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
