#pragma once
// The commands of wqosctl. Each returns the tool's exit code (commandLine.h).
#include <functional>
#include <string>
#include <vector>

#include "tools/wqosctl/commandLine.h"
#include "tools/wqosctl/session.h"

namespace wqosctl {

class EmbeddedCluster;
class Progress;
struct ManifestVolume;

struct Context {
  const Invocation& invocation;
  Session& session;
  EmbeddedCluster* cluster;  // the built-in cluster, or null with --server
};

// One command of the tool. Exactly one of `run` and `runOffline` is set; an offline command
// reads a backup directory only and needs no cluster and no login.
struct CommandRow {
  const char* name;
  CommandBit bit;
  bool (*check)(Invocation& invocation, std::string& error);  // beyond its options
  int (*run)(Context& context);
  int (*runOffline)(const Invocation& invocation);
  const char* summary;  // its line in the tool's help
  const char* help;     // its --help text
};
const std::vector<CommandRow>& CommandTable();
const CommandRow* FindCommand(const std::string& name);

// Runs the command the invocation names.
int RunCommand(Context& context);
int RunGet(Context& context);
int RunBackup(Context& context);
int RunRelease(Context& context);
int RunRestore(Context& context);
int RunExec(Context& context);
int RunDemo(Context& context);

bool IsOfflineCommand(const std::string& command);
int RunVerify(const Invocation& invocation);
int RunDescribe(const Invocation& invocation);

// After restore filled `claim` (through the mount on `mountDir`, unmounted since): mounts it
// again on `mountDir`, reads every file back and compares what it holds with the manifest's
// record of the data copy when `source` is that copy (`fromDataCopy`) and the manifest has
// one, else with what `source` holds now; then unmounts it. False, with the differences as
// lines told to `say`, on any difference. Safe to run on several threads, each on its own
// facade.
bool VerifyClaimCopy(const std::string& nameSpace, OpenShiftSDKWrapper::WQOpenShiftSDKWrapper& sdk,
                     const ManifestVolume& volume, const std::string& source, bool fromDataCopy,
                     const std::string& claim, const std::string& mountDir,
                     const std::function<void(const std::string&)>& say);

// While one lives, SIGINT, SIGTERM and SIGHUP only set Interrupted(): the command ends its
// step, writes down what it made and stops (its children get a terminal's signal too).
class InterruptDeferral {
 public:
  InterruptDeferral();
  ~InterruptDeferral();
  InterruptDeferral(const InterruptDeferral&) = delete;
  InterruptDeferral& operator=(const InterruptDeferral&) = delete;

 private:
  struct Saved;
  Saved* saved_;
};
bool Interrupted();
// For tests: when WQOSCTL_TEST_PAUSE_AT names `step`, says so on standard error and waits
// (up to a minute, or until an interrupt) so that a test can signal or kill the tool there.
// Backup steps: "planned" (the manifest names the planned snapshots; not yet quiesced),
// "quiesced" (after the quiesce command), "snapshotted" (snapshots made, still quiesced),
// "copy" (before the data copy); "release" and "restore-copy" for the other commands.
void PauseForTest(const char* step);

// Columns padded to the widest cell; the first row is the header.
std::string FormatTable(const std::vector<std::vector<std::string>>& rows);
// A command's words as one command line for the shell that the cluster command-line client
// runs under: "-- " and each word in single quotes, so that each arrives as one argument.
std::string PodCommandLine(const std::vector<std::string>& words);
// The path made absolute (against the working directory) and normalised.
std::string Absolute(const std::string& path);
// Values joined with ",", or "<none>".
std::string Joined(const std::vector<std::string>& values);
// The lines of a text, without their line feeds; a final line feed adds no empty line.
std::vector<std::string> SplitLines(const std::string& text);
// The value of the first entry named `key`, or empty.
std::string ValueOf(const OpenShiftSDKWrapper::SObjectInfoLib& map, const std::string& key);

}  // namespace wqosctl
