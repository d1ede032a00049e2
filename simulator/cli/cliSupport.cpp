#include "simulator/cli/cliSupport.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace wqcli {

namespace {

const char* const kStateFile = "wqOpenShiftCLI.state";

// Matches "--name=value" or "--name value" (or "-n value" for a short name) at args[i];
// advances i past the value.
bool TakeOption(const std::vector<std::string>& args, size_t& i, const std::string& name,
                std::string& value, std::string& error) {
  const std::string& arg = args[i];
  if (arg.compare(0, name.size() + 1, name + "=") == 0) {
    value = arg.substr(name.size() + 1);
    return true;
  }
  if (arg != name) return false;
  if (i + 1 >= args.size()) {
    error = "error: flag needs an argument: " + name;
    return true;
  }
  value = args[++i];
  return true;
}

std::string Dirname(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool ParseLogin(const std::vector<std::string>& args, LoginArgs& login, std::string& error) {
  std::string insecure;
  for (size_t i = 0; i < args.size() && error.empty(); ++i) {
    const std::string& arg = args[i];
    if (TakeOption(args, i, "--insecure-skip-tls-verify", insecure, error)) {
      if (insecure != "true" && insecure != "false") {
        error = "error: invalid argument \"" + insecure + "\" for --insecure-skip-tls-verify";
      }
      login.insecure = insecure == "true";
    } else if (TakeOption(args, i, "--username", login.user, error) ||
               TakeOption(args, i, "-u", login.user, error) ||
               TakeOption(args, i, "--password", login.password, error) ||
               TakeOption(args, i, "-p", login.password, error) ||
               TakeOption(args, i, "--token", login.token, error) ||
               TakeOption(args, i, "--server", login.server, error) ||
               TakeOption(args, i, "-s", login.server, error)) {
    } else if (!arg.empty() && arg[0] == '-') {
      error = "error: unknown flag: " + arg;
    } else if (login.server.empty()) {
      login.server = arg;
    } else {
      error = "error: only one server address may be given";
    }
  }
  if (!error.empty()) return false;
  if (login.server.empty()) {
    error = "error: the server address is required";
  } else if (login.token.empty() && login.user.empty()) {
    error = "error: a user name and password, or a token, are required";
  }
  return error.empty();
}

bool ParseExec(const std::vector<std::string>& args, ExecArgs& exec, std::string& error) {
  size_t i = 0;
  for (; i < args.size() && error.empty(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (TakeOption(args, i, "--token", exec.token, error) ||
        TakeOption(args, i, "--namespace", exec.nameSpace, error) ||
        TakeOption(args, i, "-n", exec.nameSpace, error) ||
        TakeOption(args, i, "--container", exec.container, error) ||
        TakeOption(args, i, "-c", exec.container, error)) {
    } else if (!arg.empty() && arg[0] == '-') {
      error = "error: unknown flag: " + arg;
    } else if (exec.pod.empty()) {
      exec.pod = arg;
    } else {
      // The command starts at the first word after the pod that is no option.
      break;
    }
  }
  if (!error.empty()) return false;
  exec.command.assign(args.begin() + static_cast<long>(std::min(i, args.size())), args.end());
  if (exec.pod.empty()) {
    error =
        "error: expected 'exec POD_NAME COMMAND [ARG1] [ARG2] ... [ARGN]'.\n"
        "POD_NAME and COMMAND are required arguments for the exec command";
  } else if (exec.command.empty()) {
    error = "error: you must specify at least one command for the container";
  } else if (exec.nameSpace.empty()) {
    exec.nameSpace = "default";
  }
  return error.empty();
}

std::string StatePath(const std::string& baseDir) { return baseDir + "/" + kStateFile; }

bool ReadState(const std::string& baseDir, State& state) {
  std::ifstream in(StatePath(baseDir));
  if (!in) return false;
  for (std::string line; std::getline(in, line);) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos || line[0] == '#') continue;
    state[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return true;
}

bool WriteState(const std::string& baseDir, const State& state, std::string& error) {
  const std::string path = StatePath(baseDir);
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const auto& entry : state) out << entry.first << "=" << entry.second << "\n";
    if (!out.flush()) {
      error = "error: cannot write " + temporary;
      return false;
    }
  }
  // Replaced in one step, so that a client reading it meanwhile sees the old or the new.
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "error: cannot replace " + path;
    return false;
  }
  return true;
}

std::string BaseDirectory(const char* argv0) {
  const char* home = std::getenv("dBASEHOME");
  if (home != nullptr && *home != '\0') return home;
  const std::string started = argv0 != nullptr ? argv0 : "";
  if (started.find('/') != std::string::npos) return Dirname(started);
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (length <= 0) return ".";
  return Dirname(std::string(self, static_cast<size_t>(length)));
}

std::string PodDirectory(const std::string& baseDir, const State& state,
                         const std::string& nameSpace, const std::string& pod) {
  const auto configured = state.find("podsDir");
  const std::string pods = configured != state.end() && !configured->second.empty()
                               ? configured->second
                               : baseDir + "/pods";
  return pods + "/" + nameSpace + "/" + pod;
}

}  // namespace wqcli
