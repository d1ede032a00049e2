// The main of every test program: GoogleTest with the secrets sweep (secretsSweep.h).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/testing/secretsSweep.h"

namespace wqtest {
namespace {

using OpenShiftSDKWrapper::DebugLog;
using OpenShiftSDKWrapper::LogLine;
using OpenShiftSDKWrapper::ProcessRequest;
using OpenShiftSDKWrapper::WqProcess;

// The passwords, tokens and passphrases the tests hand to the library, the tool and the
// command-line client stand-in. Left out: "developer" (the sample scenario's password, equal
// to its user name, which every login line shows), "secret" (an ordinary word of API paths),
// "tokB" and "p w" (too short to tell apart from other text). Secrets made up at run time
// (UniqueSecret, the sandbox's, key files, the library's child environments) are registered
// as they appear.
struct FixedSecrets {
  const char* kind;
  std::vector<const char*> values;
};
const FixedSecrets kTestSecrets[] = {
    {"password",
     {"s3cret!pw", "pw-of-obrien", "wrong-password", "from-env-password", "node-password-text"}},
    {"token",
     {"sa-token-1234567890", "any-token", "first-token", "expired-token", "tok-safe-1", "tok-1",
      "tok-123_A", "sha256~tokC", "pod-exec-token-0123456789", "dc-commands-token-0123456789",
      "rest-test-token-0123456789", "simulator-test-token-0123456789abcdefghijklm",
      "gluster-unit-token-0123456789", "gluster-sandbox-token-0123456789",
      "workflow-test-token-0123456789abcdefghijkl", "wqsim-sample-token-aVeryLongServiceAccount0",
      "wrong-token-that-is-long"}},
    {"key passphrase", {"secret phrase", "not-the-passphrase"}},
};
// The command-line client takes the password and the token as arguments, which the shell
// fills in from its environment: a program that lists the processes of its sandbox shows
// them. Secrets of this kind count in log lines and command lines, not in program output.
const char* const kClientSecret = "secret handed to the command-line client";
const char* const kProgramOutput = "the output of ";
constexpr size_t kShortestSecret = 8;
constexpr size_t kShortestKeyLine = 40;

struct Sweep {
  std::mutex mutex;
  std::vector<std::pair<std::string, std::string>> secrets;  // kind, value
  // "a <kind> reached <where>" for each kind and place found since the last test ended;
  // each text is checked as it is recorded, so that a long test holds no more than this.
  std::vector<std::string> leaks;
  // Programs started from this process (the command-line client stand-in, the storage
  // nodes' session wrapper of a sandbox started here) record their command lines in files
  // of this folder, and the secrets they were handed in "*.secrets" files.
  std::string childDir;
};

Sweep& State() {
  static Sweep* sweep = new Sweep;  // lives past the destructors of static test objects
  return *sweep;
}

void Register(Sweep& sweep, const std::string& kind, const std::string& value) {
  if (value.size() < kShortestSecret || value.find('\n') != std::string::npos) return;
  for (const auto& secret : sweep.secrets) {
    if (secret.second == value) return;
  }
  sweep.secrets.emplace_back(kind, value);
}

bool HoldsPrivateKeyBlock(const std::string& text) {
  for (size_t at = text.find("-----BEGIN "); at != std::string::npos;
       at = text.find("-----BEGIN ", at + 1)) {
    const size_t end = text.find("-----", at + 11);
    if (end != std::string::npos &&
        text.substr(at, end - at).find("PRIVATE KEY") != std::string::npos) {
      return true;
    }
  }
  return false;
}

void Scan(Sweep& sweep, const std::string& where, const std::string& text) {
  auto report = [&](const std::string& kind) {
    const std::string leak = "secrets sweep: a " + kind + " reached " + where;
    if (std::find(sweep.leaks.begin(), sweep.leaks.end(), leak) == sweep.leaks.end()) {
      sweep.leaks.push_back(leak);
    }
  };
  for (const FixedSecrets& fixed : kTestSecrets) {
    for (const char* value : fixed.values) {
      if (text.find(value) != std::string::npos) report(fixed.kind);
    }
  }
  const bool output = where.rfind(kProgramOutput, 0) == 0;
  for (const auto& secret : sweep.secrets) {
    if (text.find(secret.second) != std::string::npos &&
        !(output && secret.first == kClientSecret)) {
      report(secret.first);
    }
  }
  if (HoldsPrivateKeyBlock(text)) report("private key block");
}

// The files the programs started from this process recorded, read and removed: the secrets
// first, then the command lines.
void CollectChildRecords(Sweep& sweep) {
  std::error_code error;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(sweep.childDir, error)) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
    return (a.extension() == ".secrets") > (b.extension() == ".secrets");
  });
  for (const std::filesystem::path& path : files) {
    std::ifstream in(path, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    if (path.extension() == ".secrets") {
      std::istringstream lines(text);
      for (std::string line; std::getline(lines, line);) Register(sweep, kClientSecret, line);
    } else {
      Scan(sweep, "command line recorded by " + path.stem().string(), text);
    }
    std::filesystem::remove(path, error);
  }
}

// What was found since the last call, forgotten here.
std::vector<std::string> TakeLeaks() {
  Sweep& sweep = State();
  std::lock_guard<std::mutex> lock(sweep.mutex);
  CollectChildRecords(sweep);
  std::vector<std::string> leaks;
  leaks.swap(sweep.leaks);
  return leaks;
}

void DefaultLog(const LogLine& line) {
  if (line.verbosity > DebugLog::Verbosity()) return;  // the default log leaves it out
  const std::string text = OpenShiftSDKWrapper::FormatLogLine(line);
  SweepRecord("a library log line", text);
  std::cerr << text << '\n';
}

class SweepListener : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    for (const std::string& leak : TakeLeaks()) ADD_FAILURE() << leak;
  }
};

}  // namespace

void RegisterSecret(const std::string& kind, const std::string& value) {
  Sweep& sweep = State();
  std::lock_guard<std::mutex> lock(sweep.mutex);
  Register(sweep, kind, value);
}

void RegisterKeyFile(const std::string& text) {
  if (text.find("PRIVATE KEY-----") == std::string::npos) return;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.size() >= kShortestKeyLine && line.compare(0, 5, "-----") != 0) {
      RegisterSecret("private key line", line);
    }
  }
}

void SweepRecord(const std::string& where, const std::string& text) {
  Sweep& sweep = State();
  std::lock_guard<std::mutex> lock(sweep.mutex);
  Scan(sweep, where, text);
}

OpenShiftSDKWrapper::LogSink SweepSink(OpenShiftSDKWrapper::LogSink sink) {
  if (!sink) return &DefaultLog;
  return [sink = std::move(sink)](const LogLine& line) {
    SweepRecord("a library log line", OpenShiftSDKWrapper::FormatLogLine(line));
    sink(line);
  };
}

WqProcess::Runner SweepRunner(WqProcess::Runner runner) {
  if (!runner) runner = &WqProcess::RunReal;
  return [runner = std::move(runner)](const ProcessRequest& request, std::string& out,
                                      std::string& err) {
    for (const auto& entry : request.env) {
      RegisterSecret("value of a child environment of the library", entry.second);
    }
    SweepRecord("a command line the library ran", request.command);
    return runner(request, out, err);
  };
}

}  // namespace wqtest

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  wqtest::Sweep& sweep = wqtest::State();
  std::string dir = (std::filesystem::temp_directory_path() / "wqsweep.XXXXXX").string();
  if (mkdtemp(&dir[0]) != nullptr) {
    sweep.childDir = dir;
    setenv("WQ_TEST_SWEEP_DIR", dir.c_str(), 1);
  }
  for (const char* name : {"WQSANDBOX_PASSWORD", "WQSANDBOX_KEY_PASSPHRASE"}) {
    if (const char* value = std::getenv(name)) wqtest::RegisterSecret("sandbox secret", value);
  }
  OpenShiftSDKWrapper::DebugLog::SetSink(wqtest::SweepSink(nullptr));
  OpenShiftSDKWrapper::WqProcess::SetRunner(wqtest::SweepRunner(nullptr));
  testing::UnitTest::GetInstance()->listeners().Append(new wqtest::SweepListener);
  int result = RUN_ALL_TESTS();
  // What was recorded after the last test (a suite's or the program's tear-down).
  for (const std::string& leak : wqtest::TakeLeaks()) {
    std::cerr << leak << '\n';
    result = 1;
  }
  std::error_code ignored;
  if (!sweep.childDir.empty()) std::filesystem::remove_all(sweep.childDir, ignored);
  return result;
}
