#pragma once
// Pieces of the command-line client stand-in that do not talk to the cluster: the
// arguments of its two commands, its state file and where it keeps pods' files.
#include <map>
#include <string>
#include <vector>

namespace wqcli {

// "login URL [--insecure-skip-tls-verify=true] (--username=U --password=P | --token=T)"
struct LoginArgs {
  std::string server;
  bool insecure = false;
  std::string user;
  std::string password;
  std::string token;
};

// "exec POD --token=T -n NS [-c C] [--] COMMAND..."
struct ExecArgs {
  std::string pod;
  std::string token;
  std::string nameSpace;
  std::string container;
  std::vector<std::string> command;
};

// Both accept "--name=value" and "--name value"; on false `error` is the text to print.
bool ParseLogin(const std::vector<std::string>& args, LoginArgs& login, std::string& error);
bool ParseExec(const std::vector<std::string>& args, ExecArgs& exec, std::string& error);

// The client's state: "key=value" lines in "wqOpenShiftCLI.state" of the base directory.
// "server" and "insecure" are written by a login; "podsDir" (where each pod's files live,
// "<podsDir>/<namespace>/<pod>") is written by whoever installs the client beside a
// simulated cluster. Unknown keys are kept.
using State = std::map<std::string, std::string>;
std::string StatePath(const std::string& baseDir);
bool ReadState(const std::string& baseDir, State& state);
bool WriteState(const std::string& baseDir, const State& state, std::string& error);

// The base directory: dBASEHOME when set, else the directory the client was started from.
std::string BaseDirectory(const char* argv0);
// "<podsDir>/<namespace>/<pod>", podsDir defaulting to "<base>/pods".
std::string PodDirectory(const std::string& baseDir, const State& state,
                         const std::string& nameSpace, const std::string& pod);

}  // namespace wqcli
