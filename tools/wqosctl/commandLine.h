#pragma once
// The command line of wqosctl: one command, its positional arguments and its options,
// checked against what that command accepts. Secrets are never taken from here.
#include <string>
#include <vector>

namespace wqosctl {

// SSH credentials of storage nodes as given on the command line: file names only.
struct NodeOptions {
  std::string host;  // empty: the default for every node
  std::string user;
  std::string passwordFile;
  std::string keyFile;
  std::string passphraseFile;
};

struct Invocation {
  std::string command;  // get, backup, release, restore, exec, demo, verify, describe
  std::vector<std::string> positional;  // after the command, options removed
  std::vector<std::string> words;       // after "--" (exec)
  bool help = false;

  // Login: without a server the built-in cluster is used.
  std::string server;
  std::string user;
  std::string passwordFile;
  std::string serviceAccount;
  std::string tokenFile;
  NodeOptions nodeDefaults;
  std::vector<NodeOptions> nodes;

  std::string nameSpace;
  std::string output = "table";
  std::string dir;           // backup, release, verify, describe
  std::string from;          // restore
  std::string data;          // restore
  std::string mountDir;      // restore
  std::string parallelText;  // restore: --parallel as given
  unsigned parallel = 0;     // restore: claims prepared at a time; 0: one per claim, at most 4
  std::string snapshotName;  // backup
  std::string quiesce;       // backup
  std::string unquiesce;     // backup
  std::string annotation;    // exec
  std::string logFile;
  bool all = false;  // backup, restore: every deployment config of the project
  bool dryRun = false;
  bool reuse = false;
  bool keepNames = false;
  bool copyData = false;
  bool verbose = false;
  // Default node credentials also for nodes whose host key no known_hosts file lists.
  bool trustEndpointNodes = false;
};

// The bit of each command in the options' masks of the commands that accept them.
enum CommandBit : unsigned {
  kGet = 1u << 0,
  kBackup = 1u << 1,
  kRelease = 1u << 2,
  kRestore = 1u << 3,
  kExec = 1u << 4,
  kDemo = 1u << 5,
  kVerify = 1u << 6,
  kDescribe = 1u << 7,
  kAll = kGet | kBackup | kRelease | kRestore | kExec | kDemo | kVerify | kDescribe,
};

// Exit codes of the tool.
enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// Claims a restore prepares at a time: by default one per claim up to kDefaultParallel;
// --parallel takes up to kMaxParallel.
const unsigned kDefaultParallel = 4;
const unsigned kMaxParallel = 64;

// Parses argv[1..]; on false `error` says what is wrong (the caller prints it with a hint
// to --help and exits with kExitUsage).
bool ParseCommandLine(const std::vector<std::string>& args, Invocation& invocation,
                      std::string& error);

// Sets `error` to `what` unless it holds an earlier one; returns `present`.
bool Require(bool present, const std::string& what, std::string& error);

// The help text of one command, or of the tool when `command` is empty or unknown.
std::string HelpText(const std::string& command);

// The kinds "get" shows, by their canonical names; `kind` may be any accepted alias.
// Empty when the kind is unknown.
std::string CanonicalKind(const std::string& kind);
// Whether objects of the (canonical) kind live in a namespace.
bool IsNamespacedKind(const std::string& kind);

}  // namespace wqosctl
