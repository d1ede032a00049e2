#pragma once
// Helpers shared by every test program: a scoped environment variable, a scratch directory
// removed with everything in it, whole files read and written, the library's log captured,
// with every line handed to the secrets sweep too.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "host/debugLog.h"
#include "host/luSleep.h"
#include "tests/testing/secretsSweep.h"

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

// Tests read their key files through here, so the sweep learns every test key.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(in), {});
  RegisterKeyFile(text);
  return text;
}

// The library's log lines while the object lives (recorded for the sweep too), and the
// questions tests ask of them.
class LogCapture {
 public:
  LogCapture() {
    OpenShiftSDKWrapper::DebugLog::SetSink(
        SweepSink([this](const LogLine& line) { lines_.push_back(line); }));
  }
  ~LogCapture() { OpenShiftSDKWrapper::DebugLog::SetSink(SweepSink(nullptr)); }
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
