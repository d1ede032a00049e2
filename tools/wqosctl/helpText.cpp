// The --help texts of wqosctl and its commands.
#include <string>

#include "tools/wqosctl/commands.h"

namespace wqosctl {

namespace {

const char* const kLoginHelp =
    "Cluster login (every command):\n"
    "  --server URL              the cluster's API address; without it the built-in\n"
    "                            cluster (simulated API, sandboxed storage nodes, a sample\n"
    "                            application in project \"demo\") is started for the command\n"
    "  --user USER               log in with a password, read from the environment\n"
    "                            variable WQOSCTL_PASSWORD or from --password-file FILE\n"
    "  --service-account NAME    log in with a token, read from WQOSCTL_TOKEN or from\n"
    "                            --token-file FILE\n"
    "Storage nodes (SSH, port 22):\n"
    "  --node HOST               the options after it apply to this node only\n"
    "  --node-user USER          before any --node: the default for every node\n"
    "  --node-password-file FILE\n"
    "  --node-key-file FILE      private key; --node-key-passphrase-file FILE if it has one\n"
    "  --trust-endpoint-nodes    give the default node login also to nodes of the cluster's\n"
    "                            endpoints whose host key the known_hosts file does not list\n"
    "Other:\n"
    "  -v, --verbose             show the library's log lines on standard error\n"
    "  --log FILE                append the library's log lines to FILE\n"
    "  -h, --help                this text\n"
    "Secrets are never taken from the command line and never printed.\n";

const char* const kToolHelp =
    "usage: wqosctl COMMAND [ARGS] [OPTIONS]\n"
    "\n"
    "Backs up and restores applications (deployment configs with GlusterFS volumes) of an\n"
    "OpenShift cluster, and reads and runs commands in it.\n"
    "\n"
    "Commands:\n";

const char* const kToolHelpEnd =
    "\n"
    "Run \"wqosctl COMMAND --help\" for the options of a command.\n"
    "Exit codes: 0 success, 1 failure, 2 wrong arguments.\n";

}  // namespace

std::string HelpText(const std::string& command) {
  const CommandRow* row = FindCommand(command);
  if (row != nullptr) return std::string(row->help) + "\n" + kLoginHelp;
  std::string text = kToolHelp;
  for (const CommandRow& each : CommandTable()) text += std::string("  ") + each.summary + "\n";
  return text + kToolHelpEnd + "\n" + kLoginHelp;
}

}  // namespace wqosctl
