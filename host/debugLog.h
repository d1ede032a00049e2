#pragma once
// Logging facility every component object derives from.
#include <functional>
#include <string>

namespace OpenShiftSDKWrapper {

// Names a log destination of the host agent; a null instance selects the default log
// (the file named by WQOSDK_LOG_FILE, else stderr).
class DebugLogFileInstance;

enum class LogSeverity { Error, Debug };

// One line as handed to a sink: `level` is "ERROR", "DEBUG" or "DEBUG<n>".
struct LogLine {
  std::string time;  // local time, "YYYY-MM-DD HH:MM:SS.mmm"
  std::string level;
  int verbosity = 0;  // -1 for errors and plain Debug lines, n for DebugLvl
  std::string context;
  std::string message;
};

using LogSink = std::function<void(const LogLine&)>;

class DebugLog {
 public:
  explicit DebugLog(DebugLogFileInstance* instance = nullptr);
  ~DebugLog() = default;
  DebugLog(const DebugLog&) = default;
  DebugLog& operator=(const DebugLog&) = default;

  void Error(const char* context, const char* format, ...) const
      __attribute__((format(printf, 3, 4)));
  void Debug(const char* context, const char* format, ...) const
      __attribute__((format(printf, 3, 4)));
  void DebugLvl(const char* context, int level, const char* format, ...) const
      __attribute__((format(printf, 4, 5)));

  // Test seam: while a sink is installed every line goes to it, whatever the
  // verbosity, and nothing is written to the default log. Null restores the default.
  static void SetSink(LogSink sink);

  // Verbosity of the default log: WQOSDK_LOG_LEVEL, default 0 (errors, Debug lines and
  // DebugLvl lines of level 0). Read once; ReloadSettings() reads the environment again.
  static int Verbosity();
  static void ReloadSettings();

 private:
  [[maybe_unused]] DebugLogFileInstance* instance_;  // one default log for now
};

// Renders a line the way the default log writes it: "time LEVEL [context] message".
std::string FormatLogLine(const LogLine& line);

}  // namespace OpenShiftSDKWrapper
