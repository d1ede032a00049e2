#pragma once
// Process runner: runs one shell command line and waits for it.
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace OpenShiftSDKWrapper {

// Environment entries given to one child process only; the caller's environment is untouched.
using ProcessEnv = std::vector<std::pair<std::string, std::string>>;

struct ProcessRequest {
  std::string command;  // run as /bin/sh -c command
  ProcessEnv env;       // added to (or replacing in) the child's environment
};

class WqProcess {
 public:
  // Runs `command` with stdin from /dev/null; stdout and stderr are drained concurrently
  // into `out` and `err`. Returns the exit status; death by a signal, or a failure to
  // start, is non-zero. `number` and `flag` are accepted for the host interface and unused.
  static int system(const std::string& command, std::string& out, std::string& err, int number,
                    bool flag);
  // The same, with environment entries for this child only (used for secrets such as
  // a password that must not stay in the agent's own environment).
  static int system(const std::string& command, std::string& out, std::string& err, int number,
                    bool flag, const ProcessEnv& env);

  // Test seam: a replacement runner; null restores fork/exec.
  using Runner = std::function<int(const ProcessRequest&, std::string& out, std::string& err)>;
  static void SetRunner(Runner runner);

  // The real runner, callable by a test runner that wants to pass a command through.
  static int RunReal(const ProcessRequest& request, std::string& out, std::string& err);
};

}  // namespace OpenShiftSDKWrapper
