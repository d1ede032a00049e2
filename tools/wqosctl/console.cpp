#include "tools/wqosctl/console.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "host/debugLog.h"
#include "tools/wqosctl/commandLine.h"
#include "tools/wqosctl/secrets.h"

namespace wqosctl {

namespace {

struct CapturedLog {
  std::mutex mutex;
  bool verbose = false;
  std::deque<std::string> errors;  // since the mark, at most kKept
};

const size_t kKept = 50;

CapturedLog& Captured() {
  static CapturedLog log;
  return log;
}

void Write(FILE* stream, const std::string& text) {
  const std::string shown = Redactor::Instance().Apply(text);
  std::fwrite(shown.data(), 1, shown.size(), stream);
  std::fflush(stream);
}

}  // namespace

void PrintOut(const std::string& text) { Write(stdout, text); }
void PrintErr(const std::string& text) { Write(stderr, text); }

void LibraryLog::Install(bool verbose, const std::string& logFile) {
  using OpenShiftSDKWrapper::DebugLog;
  if (!logFile.empty()) setenv("WQOSDK_LOG_FILE", logFile.c_str(), 1);
  DebugLog::ReloadSettings();
  const char* configured = std::getenv("WQOSDK_LOG_FILE");
  if (configured != nullptr && *configured != '\0') return;
  Captured().verbose = verbose;
  DebugLog::SetSink([](const OpenShiftSDKWrapper::LogLine& line) {
    CapturedLog& log = Captured();
    std::lock_guard<std::mutex> lock(log.mutex);
    if (log.verbose && line.verbosity <= DebugLog::Verbosity()) {
      PrintErr("    | " + OpenShiftSDKWrapper::FormatLogLine(line) + "\n");
    }
    if (line.level != "ERROR") return;
    log.errors.push_back("[" + line.context + "] " + line.message);
    if (log.errors.size() > kKept) log.errors.pop_front();
  });
}

void LibraryLog::Mark() {
  std::lock_guard<std::mutex> lock(Captured().mutex);
  Captured().errors.clear();
}

std::vector<std::string> LibraryLog::ErrorsSinceMark(size_t count) {
  std::lock_guard<std::mutex> lock(Captured().mutex);
  const std::deque<std::string>& errors = Captured().errors;
  const size_t first = errors.size() > count ? errors.size() - count : 0;
  return std::vector<std::string>(errors.begin() + static_cast<long>(first), errors.end());
}

Progress::Progress(std::string title) : title_(std::move(title)) {}

void Progress::Begin(const std::string& step) {
  current_ = step;
  ++steps_;
  LibraryLog::Mark();
  PrintErr("==> " + step + "\n");
}

bool Progress::End(bool ok, const std::string& detail) {
  if (ok) {
    PrintErr("    ok" + (detail.empty() ? std::string() : ": " + detail) + "\n");
    return true;
  }
  ++failures_;
  PrintErr("    FAILED" + (detail.empty() ? std::string() : ": " + detail) + "\n");
  for (const std::string& line : LibraryLog::ErrorsSinceMark(3)) {
    PrintErr("    library: " + line + "\n");
  }
  return false;
}

void Progress::Note(const std::string& text) { PrintErr("    " + text + "\n"); }

void Progress::Failure(const std::string& text) {
  ++failures_;
  PrintErr("    FAILED: " + text + "\n");
}

int Progress::Summary(const std::string& detail) {
  const std::string tail = detail.empty() ? std::string() : ", " + detail;
  if (failures_ == 0) {
    PrintErr(title_ + ": ok (" + std::to_string(steps_) + " steps" + tail + ")\n");
    return kExitOk;
  }
  PrintErr(title_ + ": FAILED (" + std::to_string(failures_) + " of " + std::to_string(steps_) +
           " steps failed" + tail + ")\n");
  return kExitFailed;
}

}  // namespace wqosctl
