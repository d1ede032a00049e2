#pragma once
// Helpers shared by every test program: a scoped environment variable, a scratch directory
// removed with everything in it, whole files read and written, the library's log captured,
// and the secrets sweep's record of every log line and command line of the test process.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host/debugLog.h"
#include "host/luSleep.h"
#include "host/process.h"

namespace wqtest {

using OpenShiftSDKWrapper::LogLine;

class ScopedEnv {
 public:
  // A null `value` unsets the variable for the scope.
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value != nullptr ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "wqhost.XXXXXX").string();
    path_ = mkdtemp(&pattern[0]) != nullptr ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name, const std::string& content) const {
    const std::string file = path_ + "/" + name;
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The secrets sweep (tests/secrets): when WQ_TEST_SWEEP_DIR names a directory, every log
// line a test's sink receives and every command line the library hands to the process
// runner is also appended to "<dir>/<program>.<pid>.lines", so that one test at the end
// of the run can check that no password, token or key reached any of them. Values the
// library passes to a child through its environment are secrets by contract; they go to
// "<dir>/<program>.<pid>.secrets" for the sweep to look for.
class Sweep {
 public:
  static Sweep& Instance() {
    static Sweep sweep;
    return sweep;
  }
  bool enabled() const { return !dir_.empty(); }

  void Log(const OpenShiftSDKWrapper::LogLine& line) {
    Append(lines_, "log: " + OpenShiftSDKWrapper::FormatLogLine(line) + "\n");
  }
  void Command(const OpenShiftSDKWrapper::ProcessRequest& request) {
    std::string command = request.command;
    while (!command.empty() && command.back() == '\n') command.pop_back();
    std::string record = "cmd: " + command + "\n";
    if (!request.env.empty()) {
      record += "cmd-env-names:";
      for (const auto& entry : request.env) record += " " + entry.first;
      record += "\n";
    }
    Append(lines_, record);
    for (const auto& entry : request.env) Secret(entry.second);
  }
  // A private key's body lines are secrets each: no line of a key may show up.
  void KeyFile(const std::string& text) {
    if (text.find("PRIVATE KEY-----") == std::string::npos) return;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if (line.size() >= kShortestKeyLine && line.compare(0, 5, "-----") != 0) Secret(line);
    }
  }
  void Secret(const std::string& value) {
    if (value.size() >= kShortestSecret && value.find('\n') == std::string::npos) {
      Append(secrets_, value + "\n");
    }
  }

 private:
  struct File {
    std::string path;
    int fd = -1;
  };
  static constexpr size_t kShortestSecret = 8;  // shorter values would match ordinary words
  static constexpr size_t kShortestKeyLine = 40;

  Sweep() {
    const char* dir = std::getenv("WQ_TEST_SWEEP_DIR");
    if (dir == nullptr || *dir == '\0') return;
    dir_ = dir;
    std::error_code ignored;
    std::filesystem::create_directories(dir_, ignored);
    const std::string stem =
        dir_ + "/" + program_invocation_short_name + "." + std::to_string(getpid());
    lines_.path = stem + ".lines";
    secrets_.path = stem + ".secrets";
    // The storage-node sandbox's password and key passphrase, made up for each sandbox.
    for (const char* name : {"WQSANDBOX_PASSWORD", "WQSANDBOX_KEY_PASSPHRASE"}) {
      if (const char* value = std::getenv(name)) Secret(value);
    }
  }

  // One write(2) per record, so that forked children appending to the same file never
  // split one.
  void Append(File& file, const std::string& text) {
    if (!enabled()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (file.fd < 0) {
      file.fd = ::open(file.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
      if (file.fd < 0) return;
      if (&file == &lines_) WriteAll(file.fd, "# argv: " + CommandLineOfThisProcess() + "\n");
    }
    WriteAll(file.fd, text);
  }
  static void WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }
  // Names the test (gtest's --gtest_filter) in a report of the sweep.
  static std::string CommandLineOfThisProcess() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    while (!text.empty() && text.back() == '\0') text.pop_back();
    for (char& c : text) c = c == '\0' ? ' ' : c;
    return text;
  }

  std::string dir_;
  std::mutex mutex_;
  File lines_;
  File secrets_;
};

// A sink that records each line for the sweep and then hands it on; null stays null. Tests
// install their sinks and runners through these two.
inline OpenShiftSDKWrapper::LogSink SweepSink(OpenShiftSDKWrapper::LogSink sink) {
  if (!sink || !Sweep::Instance().enabled()) return sink;
  return [sink = std::move(sink)](const OpenShiftSDKWrapper::LogLine& line) {
    Sweep::Instance().Log(line);
    sink(line);
  };
}

// A runner that records each request for the sweep and then hands it on; null becomes a
// recording pass-through to the real runner.
inline OpenShiftSDKWrapper::WqProcess::Runner SweepRunner(
    OpenShiftSDKWrapper::WqProcess::Runner runner) {
  if (!Sweep::Instance().enabled()) return runner;
  if (!runner) runner = &OpenShiftSDKWrapper::WqProcess::RunReal;
  return [runner = std::move(runner)](const OpenShiftSDKWrapper::ProcessRequest& request,
                                      std::string& out, std::string& err) {
    Sweep::Instance().Command(request);
    return runner(request, out, err);
  };
}

// Tests read their key files through here, so the sweep learns every test key.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(in), {});
  Sweep::Instance().KeyFile(text);
  return text;
}

// Command lines run while no test has installed a runner are recorded too.
inline const bool kSweepRunnerInstalled = [] {
  if (Sweep::Instance().enabled()) OpenShiftSDKWrapper::WqProcess::SetRunner(SweepRunner(nullptr));
  return true;
}();

// The library's log lines while the object lives (recorded for the sweep too), and the
// questions tests ask of them.
class LogCapture {
 public:
  LogCapture() {
    OpenShiftSDKWrapper::DebugLog::SetSink(
        SweepSink([this](const LogLine& line) { lines_.push_back(line); }));
  }
  ~LogCapture() { OpenShiftSDKWrapper::DebugLog::SetSink(nullptr); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // "LEVEL message" of the lines logged under `context`, in order.
  std::vector<std::string> LinesOf(const std::string& context) const {
    std::vector<std::string> found;
    for (const LogLine& line : lines_) {
      if (line.context == context) found.push_back(line.level + " " + line.message);
    }
    return found;
  }
  // Lines whose message contains `text`, optionally only of one level.
  std::vector<LogLine> LinesWith(const std::string& text, const std::string& level = "") const {
    std::vector<LogLine> found;
    for (const LogLine& line : lines_) {
      if (line.message.find(text) != std::string::npos && (level.empty() || line.level == level)) {
        found.push_back(line);
      }
    }
    return found;
  }
  // Messages of the lines that contain `text`, in order.
  std::vector<std::string> MessagesWith(const std::string& text) const {
    std::vector<std::string> found;
    for (const LogLine& line : LinesWith(text)) found.push_back(line.message);
    return found;
  }
  bool HasLine(const std::string& level, const std::string& context,
               const std::string& message) const {
    return std::any_of(lines_.begin(), lines_.end(), [&](const LogLine& line) {
      return line.level == level && line.context == context && line.message == message;
    });
  }
  // True when `secret` appears in no log line, neither in a message nor in a context.
  bool NeverLogged(const std::string& secret) const {
    return std::none_of(lines_.begin(), lines_.end(), [&](const LogLine& line) {
      return line.message.find(secret) != std::string::npos ||
             line.context.find(secret) != std::string::npos;
    });
  }

 protected:
  std::vector<LogLine> lines_;
};

struct Sleep {
  unsigned long milliseconds;
  std::string sourceFile;
};

// The library's sleeps while the object lives: recorded, not slept.
class SleepRecorder {
 public:
  SleepRecorder() {
    OpenShiftSDKWrapper::SetSleepHook([this](unsigned long ms, const char* file, int) {
      sleeps_.push_back(Sleep{ms, file});
    });
  }
  ~SleepRecorder() { OpenShiftSDKWrapper::SetSleepHook(nullptr); }
  SleepRecorder(const SleepRecorder&) = delete;
  SleepRecorder& operator=(const SleepRecorder&) = delete;

 protected:
  std::vector<Sleep> sleeps_;
};

}  // namespace wqtest
