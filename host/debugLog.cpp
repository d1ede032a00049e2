#include "host/debugLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "host/settings.h"
#include "host/strFormat.h"
#include "host/uniqueFd.h"

namespace OpenShiftSDKWrapper {
namespace {

// Process-wide state of the default log. The library itself is single-threaded per
// facade, but an agent may run several facades, so the state is guarded.
struct LogState {
  std::mutex mutex;
  LogSink sink;
  bool loaded = false;
  int verbosity = 0;
  int fd = -1;    // where lines go: the log file, or STDERR_FILENO when none is configured
  UniqueFd file;  // the log file, opened on first use
};

LogState& State() {
  static LogState state;
  return state;
}

// Caller holds the mutex.
void LoadLocked(LogState& state) {
  if (state.loaded) return;
  state.verbosity = static_cast<int>(Settings::GetInteger("WQOSDK_LOG_LEVEL", 0));
  state.fd = STDERR_FILENO;
  const std::string path = Settings::Get("WQOSDK_LOG_FILE");
  if (!path.empty()) {
    int fd;
    do {
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      state.file.Reset(fd);
      state.fd = fd;
    } else {
      const std::string warning = "cannot open log file " + path + ", logging to stderr\n";
      (void)!::write(STDERR_FILENO, warning.data(), warning.size());
    }
  }
  state.loaded = true;
}

std::string Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char stamp[32];
  const size_t n = strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(stamp + n, sizeof stamp - n, ".%03ld", now.tv_nsec / 1000000L);
  return stamp;
}

// One write(2) per line: with O_APPEND, processes sharing the file never split a line.
void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere left to report a failing log
    }
    done += static_cast<size_t>(n);
  }
}

void Emit(const char* level, int verbosity, const char* context, const char* format, va_list args) {
  LogState& state = State();
  LogSink sink;
  int fd;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    LoadLocked(state);
    sink = state.sink;
    fd = state.fd;
    // Lines above the verbosity are not even formatted: level-2 lines carry whole
    // response bodies.
    if (!sink && verbosity > state.verbosity) return;
  }
  LogLine line;
  line.time = Now();
  line.level = level;
  line.verbosity = verbosity;
  line.context = context != nullptr ? context : "";
  line.message = WqVFormat(format, args);
  if (sink) {
    sink(line);
    return;
  }
  std::string text = FormatLogLine(line);
  text += '\n';
  WriteAll(fd, text);
}

}  // namespace

DebugLog::DebugLog(DebugLogFileInstance* instance) : instance_(instance) {}

void DebugLog::Error(const char* context, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  Emit("ERROR", -1, context, format, args);
  va_end(args);
}

void DebugLog::Debug(const char* context, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  Emit("DEBUG", -1, context, format, args);
  va_end(args);
}

void DebugLog::DebugLvl(const char* context, int level, const char* format, ...) const {
  const std::string name = "DEBUG" + std::to_string(level);
  va_list args;
  va_start(args, format);
  Emit(name.c_str(), level, context, format, args);
  va_end(args);
}

void DebugLog::SetSink(LogSink sink) {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.sink = std::move(sink);
}

int DebugLog::Verbosity() {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  LoadLocked(state);
  return state.verbosity;
}

void DebugLog::ReloadSettings() {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.file.Reset();
  state.fd = -1;
  state.loaded = false;
  LoadLocked(state);
}

std::string FormatLogLine(const LogLine& line) {
  std::string text;
  text.reserve(line.time.size() + line.level.size() + line.context.size() + line.message.size() +
               8);
  text += line.time;
  text += ' ';
  text += line.level;
  text += " [";
  text += line.context;
  text += "] ";
  text += line.message;
  return text;
}

}  // namespace OpenShiftSDKWrapper
