// The commands of wqosctl, one row each: name, the bit that options name it by, what it
// needs beyond its options, how it runs and its help.
#include <string>
#include <vector>

#include "queries/glusterOutput.h"
#include "tools/wqosctl/commands.h"

namespace wqosctl {

namespace {

bool CheckGet(Invocation& invocation, std::string& error) {
  const size_t count = invocation.positional.size();
  if (!Require(count == 1 || count == 2, "get needs a kind and at most one name", error)) {
    return false;
  }
  const std::string kind = CanonicalKind(invocation.positional[0]);
  if (!Require(!kind.empty(), "get: unknown kind \"" + invocation.positional[0] + "\"", error)) {
    return false;
  }
  invocation.positional[0] = kind;
  const bool nameless = kind == "pv" && count == 2;
  Require(!IsNamespacedKind(kind) || nameless || !invocation.nameSpace.empty(),
          "get " + kind + " needs -n NAMESPACE", error);
  Require(invocation.output == "table" || invocation.output == "json",
          "-o takes \"table\" or \"json\"", error);
  return error.empty();
}

bool CheckBackup(Invocation& invocation, std::string& error) {
  const size_t count = invocation.positional.size();
  Require(invocation.all ? count == 0 : count == 1,
          invocation.all ? "backup --all takes no deployment config"
                         : "backup needs the name of one deployment config",
          error);
  Require(!invocation.nameSpace.empty(), "backup needs -n NAMESPACE", error);
  Require(!invocation.dir.empty(), "backup needs --dir DIR", error);
  Require(invocation.unquiesce.empty() || !invocation.quiesce.empty(),
          "--unquiesce-annotation needs --quiesce-annotation", error);
  Require(invocation.snapshotName.empty() ||
              OpenShiftSDKWrapper::IsGlusterWord(invocation.snapshotName,
                                                 OpenShiftSDKWrapper::GlusterWord::Name),
          "--snapshot-name takes letters, digits, '.', '_' and '-' only", error);
  return error.empty();
}

bool CheckRelease(Invocation& invocation, std::string& error) {
  const size_t count = invocation.positional.size();
  Require(count == 0, "release takes no arguments besides its options", error);
  Require(!invocation.dir.empty(), "release needs --dir DIR", error);
  return error.empty();
}

bool CheckRestore(Invocation& invocation, std::string& error) {
  const size_t count = invocation.positional.size();
  Require(invocation.all ? count == 0 : count == 1,
          invocation.all ? "restore --all takes no deployment config"
                         : "restore needs the name of one deployment config",
          error);
  Require(!invocation.nameSpace.empty(), "restore needs -n NAMESPACE", error);
  Require(!invocation.from.empty(), "restore needs --from DIR", error);
  const std::string& parallel = invocation.parallelText;
  if (!parallel.empty()) {
    const bool number =
        parallel.size() <= 3 && parallel.find_first_not_of("0123456789") == std::string::npos;
    invocation.parallel = number ? static_cast<unsigned>(std::stoul(parallel)) : 0;
    Require(invocation.parallel >= 1 && invocation.parallel <= kMaxParallel,
            "--parallel takes a number from 1 to " + std::to_string(kMaxParallel), error);
  }
  return error.empty();
}

bool CheckVerifyOrDescribe(Invocation& invocation, std::string& error) {
  const size_t count = invocation.positional.size();
  const std::string& command = invocation.command;
  Require(count == 0, command + " takes no arguments besides its options", error);
  Require(!invocation.dir.empty(), command + " needs --dir DIR", error);
  Require(invocation.output == "table" || invocation.output == "json",
          "-o takes \"table\" or \"json\"", error);
  return error.empty();
}

bool CheckExec(Invocation& invocation, std::string& error) {
  const size_t count = invocation.positional.size();
  Require(count == 1, "exec needs the name of one deployment config", error);
  Require(!invocation.nameSpace.empty(), "exec needs -n NAMESPACE", error);
  Require(invocation.words.empty() != invocation.annotation.empty(),
          "exec needs either -- COMMAND... or --annotation KEY", error);
  return error.empty();
}

bool CheckDemo(Invocation& invocation, std::string& error) {
  const size_t count = invocation.positional.size();
  Require(count == 0, "demo takes no arguments", error);
  Require(invocation.server.empty(), "demo runs on the built-in cluster: drop --server", error);
  return error.empty();
}

}  // namespace

const std::vector<CommandRow>& CommandTable() {
  static const std::vector<CommandRow> table = {
      {"get", kGet, CheckGet, RunGet, nullptr,
       "get KIND [NAME] -n NS     list projects, storageclasses, dc, pvc, pods, pv, endpoints",
       "usage: wqosctl get KIND [NAME] [-n NAMESPACE] [-o table|json]\n"
       "\n"
       "KIND is one of projects, storageclasses (sc), dc, pvc, pods, pv, endpoints (ep).\n"
       "Without NAME every object of the kind is listed; pv and endpoints then list the\n"
       "volumes and endpoints behind the namespace's claims. pv NAME needs no namespace.\n"
       "  -o json                   print JSON instead of a table\n"},
      {"backup", kBackup, CheckBackup, RunBackup, nullptr,
       "backup DC -n NS --dir DIR snapshot the volumes of a deployment config, save its objects",
       "usage: wqosctl backup DC -n NAMESPACE --dir DIR [--snapshot-name NAME]\n"
       "                      [--quiesce-annotation KEY [--unquiesce-annotation KEY]]\n"
       "                      [--copy-data] [--dry-run]\n"
       "       wqosctl backup --all -n NAMESPACE --dir DIR [the same options]\n"
       "\n"
       "Reads the deployment config, its claims and storage nodes, writes DIR/manifest.json\n"
       "with the snapshot names it will ask for, runs the command stored in the annotation\n"
       "KEY of the deployment config in its pods, snapshots every GlusterFS claim the\n"
       "deployment config uses, runs the unquiesce command (on every way out once the quiesce\n"
       "command was tried, by a guardian process should wqosctl be killed) and prints how long\n"
       "the pods stayed quiesced. Then it mounts the snapshots under DIR (DIR/CLAIM) and writes\n"
       "the definitions of the deployment config, its claims, secrets and config maps to DIR;\n"
       "if a snapshot failed, it deletes those made instead. The snapshots stay mounted until\n"
       "\"wqosctl release --dir DIR\". A second backup of the same deployment config on this\n"
       "host is refused while one runs. The secrets and config maps the pods mount (also\n"
       "through projected volumes) or pull images with are saved too, service account tokens\n"
       "never; the pods' service account is recorded by name. A missing object the pods\n"
       "reference as optional is a warning, any other missing one a failure.\n"
       "With --all, every deployment config of the project is backed up in turn into\n"
       "DIR/DC, each with its own quiesce and unquiesce; DIR/project.json lists them and\n"
       "their results. A claim that several use is snapshotted once, by the first; the others'\n"
       "manifests name it. One that fails does not stop the others; the exit code is 1 if any\n"
       "failed.\n"
       "  --all                     every deployment config of the project\n"
       "  --snapshot-name NAME      GlusterFS snapshot name (default wqosctl-DC)\n"
       "  --copy-data               also copy the snapshots' files to DIR/data/CLAIM; the\n"
       "                            manifest records each file's size and SHA-256\n"
       "  --dry-run                 read the cluster and print the plan; change nothing\n"},
      {"release", kRelease, CheckRelease, RunRelease, nullptr,
       "release --dir DIR         unmount and delete the snapshots of a backup",
       "usage: wqosctl release --dir DIR [-n NAMESPACE]\n"
       "\n"
       "Unmounts and deletes every snapshot listed in DIR/manifest.json, going on past a\n"
       "failed one; each is reported. Released snapshots are marked in the manifest. On the\n"
       "directory of a backup --all, releases the backup of every deployment config.\n"},
      {"restore", kRestore, CheckRestore, RunRestore, nullptr,
       "restore DC -n NS --from DIR  re-create claims, copy the data back, restore the objects",
       "usage: wqosctl restore DC -n NAMESPACE --from DIR [--reuse] [--keep-names]\n"
       "                       [--data DATADIR] [--mount-dir DIR] [--parallel N] [--dry-run]\n"
       "       wqosctl restore --all -n NAMESPACE --from DIR [the same options]\n"
       "\n"
       "For every volume of the backup in DIR: prepares a claim (a new one, named from the\n"
       "saved name, when a claim of that name exists), waits until its volume is online and\n"
       "its mount answers, copies the saved files into it keeping owners, modes and times,\n"
       "and unmounts it; then mounts it again and reads every file back against the\n"
       "manifest's record of the data copy (or the files copied), and stops on any\n"
       "difference. N claims at a time, each on its own connection to the cluster. Once every\n"
       "claim is ready, re-creates the secrets, config maps, the recorded service account\n"
       "(empty, when the namespace lacks it) and the deployment config DC, pointing its\n"
       "volumes at the claims used; if one claim failed, nothing of them.\n"
       "With --all, restores every deployment config of the backup --all in DIR, in the\n"
       "order they were backed up; a claim they share is restored once and used by all of\n"
       "them. One that fails does not stop the others; the exit code is 1 if any failed.\n"
       "  --all                     every deployment config of the project backup in DIR\n"
       "  --reuse                   reuse an existing claim of the saved name when it is big\n"
       "                            enough (its files are replaced)\n"
       "  --keep-names              leave the claim names in the deployment config as saved\n"
       "  --data DATADIR            take the files of claim C from DATADIR/C (default\n"
       "                            DIR/data/C when the backup copied its data, else DIR/C)\n"
       "  --mount-dir DIR           where the claims are mounted meanwhile (default: a new\n"
       "                            directory below /tmp)\n"
       "  --parallel N              claims prepared at a time (default: one per claim, at\n"
       "                            most 4)\n"
       "  --dry-run                 read the cluster and the backup and print the plan\n"},
      {"verify", kVerify, CheckVerifyOrDescribe, nullptr, RunVerify,
       "verify --dir DIR          read a backup's data copy back against its manifest",
       "usage: wqosctl verify --dir DIR\n"
       "\n"
       "Reads every file of the backup's data copy (DIR/data/CLAIM) and compares it with the\n"
       "sizes and SHA-256 digests the manifest recorded when the copy was made. Every missing,\n"
       "added or changed file is reported; the exit code is 1 on any difference. A backup\n"
       "without a data copy has nothing to verify (exit code 0). The result is kept in\n"
       "DIR/verify.json for \"wqosctl describe\". Needs no cluster.\n"},
      {"describe", kDescribe, CheckVerifyOrDescribe, nullptr, RunDescribe,
       "describe --dir DIR        what a backup holds and in which state",
       "usage: wqosctl describe --dir DIR [-o table|json]\n"
       "\n"
       "Shows what the backup in DIR holds: the deployment config, when it was made, whether\n"
       "it completed and its snapshots were released, each volume (claim, size, storage nodes,\n"
       "snapshot, whether it is mounted, its data copy and counts), each saved object, and the\n"
       "result of the last \"wqosctl verify\". Needs no cluster.\n"
       "  -o json                   print JSON instead of text\n"},
      {"exec", kExec, CheckExec, RunExec, nullptr,
       "exec DC -n NS -- COMMAND  run a command in the running pods of a deployment config",
       "usage: wqosctl exec DC -n NAMESPACE -- COMMAND [ARGS...]\n"
       "       wqosctl exec DC -n NAMESPACE --annotation KEY\n"
       "\n"
       "Runs COMMAND, or the command stored in the annotation KEY of the deployment config,\n"
       "in every running pod of the deployment config once all its replicas are ready.\n"
       "Each pod's output is printed as \"POD:TEXT\".\n"},
      {"demo", kDemo, CheckDemo, RunDemo, nullptr,
       "demo                      back up, delete and restore the built-in sample application",
       "usage: wqosctl demo [-v]\n"
       "\n"
       "Starts the built-in cluster with its sample application, backs the application up,\n"
       "lists the files in the mounted snapshots, verifies and describes the backup,\n"
       "releases the snapshots, deletes the application,\n"
       "restores it under new claim names and checks that every file (bytes, mode, owner,\n"
       "time) and every object came back.\n"},
  };
  return table;
}

const CommandRow* FindCommand(const std::string& name) {
  for (const CommandRow& row : CommandTable()) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

int RunCommand(Context& context) {
  const CommandRow* row = FindCommand(context.invocation.command);
  if (row == nullptr) return kExitUsage;
  return row->run != nullptr ? row->run(context) : row->runOffline(context.invocation);
}

bool IsOfflineCommand(const std::string& command) {
  const CommandRow* row = FindCommand(command);
  return row != nullptr && row->runOffline != nullptr;
}

}  // namespace wqosctl
