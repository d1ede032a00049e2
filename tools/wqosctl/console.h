#pragma once
// What wqosctl prints: results on standard output, progress and failures on standard error,
// every line with the known secrets replaced, and the library's own log lines kept aside
// (shown with -v, written with --log, and quoted when a step fails).
#include <deque>
#include <string>
#include <vector>

namespace wqosctl {

void PrintOut(const std::string& text);
void PrintErr(const std::string& text);

// The library's log: lines go to `logFile` when one is given (or WQOSDK_LOG_FILE is set),
// else they are kept in memory, and with `verbose` also shown on standard error.
class LibraryLog {
 public:
  static void Install(bool verbose, const std::string& logFile);
  // Starts a new window of error lines for the next step.
  static void Mark();
  // The last `count` error lines logged since the mark (oldest first).
  static std::vector<std::string> ErrorsSinceMark(size_t count);
};

// Progress of one multi-step command: a line per step on standard error, and a summary.
class Progress {
 public:
  explicit Progress(std::string title);
  void Begin(const std::string& step);
  // Ends the current step; a failure also shows the library's last error lines.
  bool End(bool ok, const std::string& detail = std::string());
  // An indented line under the current step.
  void Note(const std::string& text);
  // A failure that belongs to no step (the command goes on).
  void Failure(const std::string& text);
  int failures() const { return failures_; }
  // "title: ok (N steps)" or "title: FAILED (M of N steps failed)"; the exit code.
  int Summary(const std::string& detail = std::string());

 private:
  std::string title_;
  std::string current_;
  int steps_ = 0;
  int failures_ = 0;
};

}  // namespace wqosctl
