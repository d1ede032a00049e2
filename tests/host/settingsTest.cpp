#include <gtest/gtest.h>
#include <sys/time.h>

#include <chrono>
#include <csignal>

#include "host/luSleep.h"
#include "host/platformInfo.h"
#include "host/settings.h"
#include "tests/testing/testSupport.h"

namespace OpenShiftSDKWrapper {
namespace {

struct NumberCase {
  const char* text;
  double number;
  long integer;
};

class SettingsNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(SettingsNumberTest, WholeTextMustBeANumber) {
  wqtest::ScopedEnv env("WQOSDK_TEST_NUMBER", GetParam().text);
  EXPECT_DOUBLE_EQ(Settings::GetNumber("WQOSDK_TEST_NUMBER", -1.5), GetParam().number);
  EXPECT_EQ(Settings::GetInteger("WQOSDK_TEST_NUMBER", -7), GetParam().integer);
}

INSTANTIATE_TEST_SUITE_P(Texts, SettingsNumberTest,
                         ::testing::Values(NumberCase{nullptr, -1.5, -7},
                                           NumberCase{"0.01", 0.01, -7}, NumberCase{"-3", -3, -3},
                                           NumberCase{"0,01", -1.5, -7},
                                           NumberCase{"inf", -1.5, -7},
                                           NumberCase{"99999999999999999999", 1e20, -7}));

const char kIni[] =
    "\xEF\xBB\xBF; agent installation\n"
    "[General]\n"
    "dBASEHOME=/wrong/section\n"
    "\n"
    "  [ Base ]  \r\n"
    "# comment = not a key\n"
    "  dBASEHOME =  /opt/agent dir;v2  \r\n"
    "dBASEHOME=/second/ignored\n"
    "noequals\n"
    "Empty=\n";

struct IniCase {
  const char* section;
  const char* key;
  bool found;
  const char* value;
};

class PlatformInfoIniTest : public ::testing::TestWithParam<IniCase> {
 protected:
  wqtest::TempDir dir_;
  wqtest::ScopedEnv config_{"WQOSDK_PLATFORM_CONFIG", dir_.File("platform.ini", kIni).c_str()};
  wqtest::ScopedEnv home_{"dBASEHOME", nullptr};
};

TEST_P(PlatformInfoIniTest, LooksUpSectionAndKey) {
  std::string value = "untouched";
  EXPECT_EQ(WQPlatformInfo().getString(GetParam().section, GetParam().key, value),
            GetParam().found);
  EXPECT_EQ(value, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Keys, PlatformInfoIniTest,
                         ::testing::Values(IniCase{"Base", "dBASEHOME", true, "/opt/agent dir;v2"},
                                           IniCase{"General", "dBASEHOME", true, "/wrong/section"},
                                           IniCase{"Base", "Empty", true, ""},
                                           IniCase{"Base", "comment", false, "untouched"},
                                           IniCase{"Base", "noequals", false, "untouched"},
                                           IniCase{"Missing", "dBASEHOME", false, "untouched"}));

TEST(PlatformInfoTest, EnvironmentOverridesTheFileUnlessEmpty) {
  wqtest::TempDir dir;
  wqtest::ScopedEnv config("WQOSDK_PLATFORM_CONFIG",
                           dir.File("p.ini", "[Base]\ndBASEHOME=/from/file\n").c_str());
  std::string value;
  {
    wqtest::ScopedEnv home("dBASEHOME", "/from/env");
    ASSERT_TRUE(WQPlatformInfo().getString("Base", "dBASEHOME", value));
    EXPECT_EQ(value, "/from/env");
  }
  wqtest::ScopedEnv home("dBASEHOME", "");
  ASSERT_TRUE(WQPlatformInfo().getString("Base", "dBASEHOME", value));
  EXPECT_EQ(value, "/from/file");
}

TEST(PlatformInfoTest, MissingFileFindsNothing) {
  wqtest::ScopedEnv config("WQOSDK_PLATFORM_CONFIG", "/nonexistent/platform.ini");
  wqtest::ScopedEnv home("dBASEHOME", nullptr);
  std::string value;
  EXPECT_FALSE(WQPlatformInfo().getString("Base", "dBASEHOME", value));
}

using Clock = std::chrono::steady_clock;

TEST(LuSleepTest, ScaleShortensTheSleep) {
  wqtest::ScopedEnv scale("WQOSDK_SLEEP_SCALE", "0.001");
  const auto start = Clock::now();
  LUSLEEP(120000, "openshiftWrapper", 1);
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(120));
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST(LuSleepTest, ResumesAfterASignalInterruptsIt) {
  wqtest::ScopedEnv scale("WQOSDK_SLEEP_SCALE", nullptr);
  struct sigaction action {};
  struct sigaction old {};
  action.sa_handler = [](int) {};
  sigaction(SIGALRM, &action, &old);  // no SA_RESTART: nanosleep returns EINTR
  itimerval timer{};
  timer.it_value.tv_usec = 20000;
  setitimer(ITIMER_REAL, &timer, nullptr);
  const auto start = Clock::now();
  LUSLEEP(150, "openshiftOperations", 2);
  const auto elapsed = Clock::now() - start;
  sigaction(SIGALRM, &old, nullptr);
  EXPECT_GE(elapsed, std::chrono::milliseconds(150));
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
