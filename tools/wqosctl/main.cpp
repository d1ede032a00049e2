// wqosctl: back up, release, restore, read and run commands in applications of an OpenShift
// cluster with GlusterFS volumes, through the library's facade. Without --server it works on
// a built-in cluster made for the one command (see embedded.h).
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "tools/wqosctl/commandLine.h"
#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/embedded.h"
#include "tools/wqosctl/sampleApp.h"
#include "tools/wqosctl/secrets.h"
#include "tools/wqosctl/session.h"

using namespace wqosctl;

namespace {

// Waits of the library (claims, mounts) that a simulated cluster does not need.
const char* const kBuiltInSleepScale = "0.001";

int Main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  Invocation invocation;
  std::string error;
  if (!ParseCommandLine(args, invocation, error)) {
    PrintErr("wqosctl: " + error + "\nRun \"wqosctl " + invocation.command +
             (invocation.command.empty() ? "" : " ") + "--help\" for the options.\n");
    return kExitUsage;
  }
  if (invocation.help) {
    PrintOut(HelpText(invocation.command));
    return kExitOk;
  }
  const CommandRow* command = FindCommand(invocation.command);
  if (command != nullptr && command->runOffline != nullptr) return command->runOffline(invocation);
  const bool builtIn = invocation.server.empty();
  if (builtIn && !InsideOwnSandbox()) return ReexecInSandbox(args);

  LibraryLog::Install(invocation.verbose, invocation.logFile);
  if (builtIn) setenv("WQOSDK_SLEEP_SCALE", kBuiltInSleepScale, 0);
  Credentials credentials;
  if (!ResolveCredentials(invocation, credentials, error)) {
    PrintErr("wqosctl: " + error + "\n");
    // A file that cannot be read is a failure, not a usage mistake.
    return error.rfind(kUnreadableSecretFile, 0) == 0 ? kExitFailed : kExitUsage;
  }

  EmbeddedCluster cluster;
  if (builtIn && !cluster.Start(credentials, error)) {
    PrintErr("wqosctl: the built-in cluster did not start: " + error + "\n");
    return kExitFailed;
  }
  Session session(builtIn ? cluster.Url() : invocation.server, credentials);
  session.TrustEndpointNodes(invocation.trustEndpointNodes);
  if (!session.Open(error)) {
    PrintErr("wqosctl: " + error + "\n");
    for (const std::string& line : LibraryLog::ErrorsSinceMark(3)) {
      PrintErr("    library: " + line + "\n");
    }
    return kExitFailed;
  }
  if (builtIn && !cluster.SeedFiles(session.Sdk(), error)) {
    PrintErr("wqosctl: the sample application's files could not be written: " + error + "\n");
    return kExitFailed;
  }
  Context context{invocation, session, builtIn ? &cluster : nullptr};
  return RunCommand(context);
}

}  // namespace

// Whatever a command throws (a bad allocation, a file system error) ends in a message and the
// failure code, never in an abort.
int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& failure) {
    PrintErr(std::string("wqosctl: ") + failure.what() + "\n");
  } catch (...) {
    PrintErr("wqosctl: an unexpected error ended the command\n");
  }
  return kExitFailed;
}
