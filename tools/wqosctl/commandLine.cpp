#include "tools/wqosctl/commandLine.h"

#include <algorithm>
#include <map>

#include "tools/wqosctl/commands.h"

namespace wqosctl {

namespace {

enum class NodeField { None, Host, User, PasswordFile, KeyFile, PassphraseFile };

struct OptionRow {
  const char* name;
  const char* shortName;  // or null
  unsigned commands;
  std::string Invocation::*text;  // for options with a value
  bool Invocation::*flag;         // for switches
  NodeField node;
};

const OptionRow kOptions[] = {
    {"--help", "-h", kAll, nullptr, &Invocation::help, NodeField::None},
    {"--server", nullptr, kAll, &Invocation::server, nullptr, NodeField::None},
    {"--user", nullptr, kAll, &Invocation::user, nullptr, NodeField::None},
    {"--password-file", nullptr, kAll, &Invocation::passwordFile, nullptr, NodeField::None},
    {"--service-account", nullptr, kAll, &Invocation::serviceAccount, nullptr, NodeField::None},
    {"--token-file", nullptr, kAll, &Invocation::tokenFile, nullptr, NodeField::None},
    {"--node", nullptr, kAll, nullptr, nullptr, NodeField::Host},
    {"--node-user", nullptr, kAll, nullptr, nullptr, NodeField::User},
    {"--node-password-file", nullptr, kAll, nullptr, nullptr, NodeField::PasswordFile},
    {"--node-key-file", nullptr, kAll, nullptr, nullptr, NodeField::KeyFile},
    {"--node-key-passphrase-file", nullptr, kAll, nullptr, nullptr, NodeField::PassphraseFile},
    {"--trust-endpoint-nodes", nullptr, kAll, nullptr, &Invocation::trustEndpointNodes,
     NodeField::None},
    {"--namespace", "-n", kAll & ~kDemo, &Invocation::nameSpace, nullptr, NodeField::None},
    {"--verbose", "-v", kAll, nullptr, &Invocation::verbose, NodeField::None},
    {"--log", nullptr, kAll, &Invocation::logFile, nullptr, NodeField::None},
    {"--output", "-o", kGet | kDescribe, &Invocation::output, nullptr, NodeField::None},
    {"--dir", nullptr, kBackup | kRelease | kVerify | kDescribe, &Invocation::dir, nullptr,
     NodeField::None},
    {"--snapshot-name", nullptr, kBackup, &Invocation::snapshotName, nullptr, NodeField::None},
    {"--quiesce-annotation", nullptr, kBackup, &Invocation::quiesce, nullptr, NodeField::None},
    {"--unquiesce-annotation", nullptr, kBackup, &Invocation::unquiesce, nullptr, NodeField::None},
    {"--copy-data", nullptr, kBackup, nullptr, &Invocation::copyData, NodeField::None},
    {"--all", nullptr, kBackup | kRestore, nullptr, &Invocation::all, NodeField::None},
    {"--dry-run", nullptr, kBackup | kRestore, nullptr, &Invocation::dryRun, NodeField::None},
    {"--from", nullptr, kRestore, &Invocation::from, nullptr, NodeField::None},
    {"--data", nullptr, kRestore, &Invocation::data, nullptr, NodeField::None},
    {"--mount-dir", nullptr, kRestore, &Invocation::mountDir, nullptr, NodeField::None},
    {"--parallel", nullptr, kRestore, &Invocation::parallelText, nullptr, NodeField::None},
    {"--reuse", nullptr, kRestore, nullptr, &Invocation::reuse, NodeField::None},
    {"--keep-names", nullptr, kRestore, nullptr, &Invocation::keepNames, NodeField::None},
    {"--annotation", nullptr, kExec, &Invocation::annotation, nullptr, NodeField::None},
};

// Options that would carry a secret in the command line, where every user of the machine
// can read it (/proc/PID/cmdline) and shells keep it in their history.
const struct {
  const char* name;
  const char* instead;
} kRefusedSecrets[] = {
    {"--password", "the environment variable WQOSCTL_PASSWORD or --password-file FILE"},
    {"-p", "the environment variable WQOSCTL_PASSWORD or --password-file FILE"},
    {"--token", "the environment variable WQOSCTL_TOKEN or --token-file FILE"},
    {"--node-password", "--node-password-file FILE"},
    {"--node-key", "--node-key-file FILE"},
    {"--node-key-passphrase", "--node-key-passphrase-file FILE"},
};

const struct {
  const char* canonical;
  bool namespaced;
  std::vector<std::string> aliases;
} kKinds[] = {
    {"projects", false, {"project", "projects"}},
    {"storageclasses", false, {"sc", "storageclass", "storageclasses"}},
    {"dc", true, {"dc", "deploymentconfig", "deploymentconfigs"}},
    {"pvc", true, {"pvc", "persistentvolumeclaim", "persistentvolumeclaims"}},
    {"pods", true, {"po", "pod", "pods"}},
    {"pv", true, {"pv", "persistentvolume", "persistentvolumes"}},
    {"endpoints", true, {"ep", "endpoint", "endpoints"}},
};

const OptionRow* FindOption(const std::string& name) {
  for (const OptionRow& row : kOptions) {
    if (name == row.name || (row.shortName != nullptr && name == row.shortName)) return &row;
  }
  return nullptr;
}

NodeOptions& CurrentNode(Invocation& invocation) {
  return invocation.nodes.empty() ? invocation.nodeDefaults : invocation.nodes.back();
}

void SetNodeField(Invocation& invocation, NodeField field, const std::string& value) {
  switch (field) {
    case NodeField::Host:
      invocation.nodes.push_back(NodeOptions());
      invocation.nodes.back().host = value;
      break;
    case NodeField::User:
      CurrentNode(invocation).user = value;
      break;
    case NodeField::PasswordFile:
      CurrentNode(invocation).passwordFile = value;
      break;
    case NodeField::KeyFile:
      CurrentNode(invocation).keyFile = value;
      break;
    case NodeField::PassphraseFile:
      CurrentNode(invocation).passphraseFile = value;
      break;
    case NodeField::None:
      break;
  }
}

bool CheckNode(const NodeOptions& node, std::string& error) {
  const std::string which =
      node.host.empty() ? "the default node credentials" : "node " + node.host;
  if (!node.passwordFile.empty() && !node.keyFile.empty()) {
    error = which + ": give either --node-password-file or --node-key-file, not both";
  } else if (!node.passphraseFile.empty() && node.keyFile.empty()) {
    error = which + ": --node-key-passphrase-file needs --node-key-file";
  }
  return error.empty();
}

bool CheckLogin(const Invocation& invocation, std::string& error) {
  Require(invocation.user.empty() || invocation.serviceAccount.empty(),
          "give either --user or --service-account, not both", error);
  Require(invocation.passwordFile.empty() || !invocation.user.empty(),
          "--password-file needs --user", error);
  Require(invocation.tokenFile.empty() || !invocation.serviceAccount.empty(),
          "--token-file needs --service-account", error);
  Require(
      invocation.server.empty() || !invocation.user.empty() || !invocation.serviceAccount.empty(),
      "--server needs --user or --service-account", error);
  if (!error.empty()) return false;
  if (!CheckNode(invocation.nodeDefaults, error)) return false;
  for (const NodeOptions& node : invocation.nodes) {
    if (!CheckNode(node, error)) return false;
  }
  return true;
}

}  // namespace

bool Require(bool present, const std::string& what, std::string& error) {
  if (!present && error.empty()) error = what;
  return present;
}

namespace {

// The command and what follows it: options given before the command (with their values) are
// taken as options of the command. False when the command is "help" (the help asked for is
// set); `rest` gets the arguments to parse.
bool SplitCommand(const std::vector<std::string>& args, Invocation& invocation,
                  std::vector<std::string>& rest) {
  size_t i = 0;
  while (i < args.size() && !args[i].empty() && args[i][0] == '-' && args[i] != "--") {
    const std::string& arg = args[i++];
    rest.push_back(arg);
    const OptionRow* row = FindOption(arg);
    if (row != nullptr && row->flag == nullptr && i < args.size()) rest.push_back(args[i++]);
  }
  if (i < args.size() && args[i] != "--") invocation.command = args[i++];
  if (invocation.command == "help") {
    invocation.help = true;
    invocation.command = i < args.size() ? args[i] : std::string();
    return false;
  }
  rest.insert(rest.end(), args.begin() + static_cast<long>(i), args.end());
  return true;
}

// --help or -h among the options (before any "--"), or no command at all.
bool WantsHelp(const Invocation& invocation, const std::vector<std::string>& rest) {
  const auto optionsEnd = std::find(rest.begin(), rest.end(), "--");
  return std::find(rest.begin(), optionsEnd, "--help") != optionsEnd ||
         std::find(rest.begin(), optionsEnd, "-h") != optionsEnd || invocation.command.empty();
}

// The option row of `name`, or null with `error` when the name is refused, unknown or not
// one of the command's.
const OptionRow* CommandOption(const std::string& name, const CommandRow& command,
                               std::string& error) {
  for (const auto& refused : kRefusedSecrets) {
    if (name == refused.name) {
      error = name + " is not accepted: secrets are never taken from the command line; use " +
              refused.instead;
      return nullptr;
    }
  }
  const OptionRow* row = FindOption(name);
  if (row == nullptr) {
    error = "unknown option " + name;
  } else if ((row->commands & command.bit) == 0) {
    error = name + " is not an option of " + command.name;
    row = nullptr;
  }
  return row;
}

// The option at rest[k] (and its value, which may be the next argument: k moves past it).
bool ParseOption(const std::vector<std::string>& rest, size_t& k, const CommandRow& command,
                 Invocation& invocation, std::string& error) {
  const std::string& arg = rest[k];
  const size_t equals = arg.find('=');
  const std::string name = arg.substr(0, equals);
  const OptionRow* row = CommandOption(name, command, error);
  if (row == nullptr) return false;
  if (row->flag != nullptr) {
    if (equals != std::string::npos) {
      error = name + " takes no value";
      return false;
    }
    invocation.*(row->flag) = true;
    return true;
  }
  std::string value;
  if (equals != std::string::npos) {
    value = arg.substr(equals + 1);
  } else if (k + 1 < rest.size()) {
    value = rest[++k];
  } else {
    error = name + " needs a value";
    return false;
  }
  if (value.empty()) {
    error = name + " needs a non-empty value";
    return false;
  }
  if (row->node != NodeField::None) {
    SetNodeField(invocation, row->node, value);
  } else {
    invocation.*(row->text) = value;
  }
  return true;
}

// Positional arguments, options, and the words after "--".
bool ParseArguments(const std::vector<std::string>& rest, const CommandRow& command,
                    Invocation& invocation, std::string& error) {
  for (size_t k = 0; k < rest.size(); ++k) {
    const std::string& arg = rest[k];
    if (arg == "--") {
      invocation.words.assign(rest.begin() + static_cast<long>(k) + 1, rest.end());
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      invocation.positional.push_back(arg);
    } else if (!ParseOption(rest, k, command, invocation, error)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, Invocation& invocation,
                      std::string& error) {
  invocation = Invocation();
  std::vector<std::string> rest;
  if (!SplitCommand(args, invocation, rest)) return true;
  if (WantsHelp(invocation, rest)) {
    invocation.help = true;
    return true;
  }
  const CommandRow* command = FindCommand(invocation.command);
  if (command == nullptr) {
    error = "unknown command \"" + invocation.command + "\"";
    return false;
  }
  if (!ParseArguments(rest, *command, invocation, error)) return false;
  if (!CheckLogin(invocation, error)) return false;
  if (!invocation.words.empty() && invocation.command != "exec") {
    error = "arguments after \"--\" are only taken by exec";
    return false;
  }
  return command->check(invocation, error);
}

std::string CanonicalKind(const std::string& kind) {
  for (const auto& row : kKinds) {
    if (std::find(row.aliases.begin(), row.aliases.end(), kind) != row.aliases.end()) {
      return row.canonical;
    }
  }
  return std::string();
}

bool IsNamespacedKind(const std::string& kind) {
  for (const auto& row : kKinds) {
    if (kind == row.canonical) return row.namespaced;
  }
  return false;
}

}  // namespace wqosctl
