// The --help texts of wqosctl and its commands.
#include <map>

#include "tools/wqosctl/commandLine.h"

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
    "Commands:\n"
    "  get KIND [NAME] -n NS     list projects, storageclasses, dc, pvc, pods, pv, endpoints\n"
    "  backup DC -n NS --dir DIR snapshot the volumes of a deployment config, save its objects\n"
    "  release --dir DIR         unmount and delete the snapshots of a backup\n"
    "  restore DC -n NS --from DIR  re-create claims, copy the data back, restore the objects\n"
    "  verify --dir DIR          read a backup's data copy back against its manifest\n"
    "  describe --dir DIR        what a backup holds and in which state\n"
    "  exec DC -n NS -- COMMAND  run a command in the running pods of a deployment config\n"
    "  demo                      back up, delete and restore the built-in sample application\n"
    "\n"
    "Run \"wqosctl COMMAND --help\" for the options of a command.\n"
    "Exit codes: 0 success, 1 failure, 2 wrong arguments.\n";

const std::map<std::string, std::string>& CommandHelp() {
  static const std::map<std::string, std::string> texts = {
      {"get",
       "usage: wqosctl get KIND [NAME] [-n NAMESPACE] [-o table|json]\n"
       "\n"
       "KIND is one of projects, storageclasses (sc), dc, pvc, pods, pv, endpoints (ep).\n"
       "Without NAME every object of the kind is listed; pv and endpoints then list the\n"
       "volumes and endpoints behind the namespace's claims. pv NAME needs no namespace.\n"
       "  -o json                   print JSON instead of a table\n"},
      {"backup",
       "usage: wqosctl backup DC -n NAMESPACE --dir DIR [--snapshot-name NAME]\n"
       "                      [--quiesce-annotation KEY [--unquiesce-annotation KEY]]\n"
       "                      [--copy-data] [--dry-run]\n"
       "\n"
       "Runs the command stored in the annotation KEY of the deployment config in its pods,\n"
       "snapshots every GlusterFS claim the deployment config uses and mounts the snapshots\n"
       "under DIR (DIR/CLAIM), writes the definitions of the deployment config, its claims,\n"
       "secrets and config maps to DIR, runs the unquiesce command (on every way out once the\n"
       "quiesce command was tried), and writes DIR/manifest.json. The snapshots stay mounted\n"
       "until \"wqosctl release --dir DIR\". The secrets and config maps the pods mount (also\n"
       "through projected volumes) or pull images with are saved too, service account tokens\n"
       "never; the pods' service account is recorded by name. A missing object the pods\n"
       "reference as optional is a warning, any other missing one a failure.\n"
       "  --snapshot-name NAME      GlusterFS snapshot name (default wqosctl-DC)\n"
       "  --copy-data               also copy the snapshots' files to DIR/data/CLAIM; the\n"
       "                            manifest records each file's size and SHA-256\n"
       "  --dry-run                 read the cluster and print the plan; change nothing\n"},
      {"release",
       "usage: wqosctl release --dir DIR [-n NAMESPACE]\n"
       "\n"
       "Unmounts and deletes every snapshot listed in DIR/manifest.json, going on past a\n"
       "failed one; each is reported. Released snapshots are marked in the manifest.\n"},
      {"restore",
       "usage: wqosctl restore DC -n NAMESPACE --from DIR [--reuse] [--keep-names]\n"
       "                       [--data DATADIR] [--mount-dir DIR] [--dry-run]\n"
       "\n"
       "For every volume of the backup in DIR: prepares a claim (a new one, named from the\n"
       "saved name, when a claim of that name exists), mounts it, copies the saved files into\n"
       "it keeping owners, modes and times, and unmounts it; then mounts it again and reads\n"
       "every file back against the manifest's record of the data copy (or the files copied),\n"
       "and stops on any difference. Then re-creates the secrets, config maps, the recorded\n"
       "service account (empty, when the namespace lacks it) and the deployment config DC,\n"
       "pointing its volumes at the claims used.\n"
       "  --reuse                   reuse an existing claim of the saved name when it is big\n"
       "                            enough (its files are replaced)\n"
       "  --keep-names              leave the claim names in the deployment config as saved\n"
       "  --data DATADIR            take the files of claim C from DATADIR/C (default\n"
       "                            DIR/data/C when the backup copied its data, else DIR/C)\n"
       "  --mount-dir DIR           where the claims are mounted meanwhile (default: a new\n"
       "                            directory below /tmp)\n"
       "  --dry-run                 read the cluster and the backup and print the plan\n"},
      {"verify",
       "usage: wqosctl verify --dir DIR\n"
       "\n"
       "Reads every file of the backup's data copy (DIR/data/CLAIM) and compares it with the\n"
       "sizes and SHA-256 digests the manifest recorded when the copy was made. Every missing,\n"
       "added or changed file is reported; the exit code is 1 on any difference. A backup\n"
       "without a data copy has nothing to verify (exit code 0). The result is kept in\n"
       "DIR/verify.json for \"wqosctl describe\". Needs no cluster.\n"},
      {"describe",
       "usage: wqosctl describe --dir DIR [-o table|json]\n"
       "\n"
       "Shows what the backup in DIR holds: the deployment config, when it was made, whether\n"
       "it completed and its snapshots were released, each volume (claim, size, storage nodes,\n"
       "snapshot, whether it is mounted, its data copy and counts), each saved object, and the\n"
       "result of the last \"wqosctl verify\". Needs no cluster.\n"
       "  -o json                   print JSON instead of text\n"},
      {"exec",
       "usage: wqosctl exec DC -n NAMESPACE -- COMMAND [ARGS...]\n"
       "       wqosctl exec DC -n NAMESPACE --annotation KEY\n"
       "\n"
       "Runs COMMAND, or the command stored in the annotation KEY of the deployment config,\n"
       "in every running pod of the deployment config once all its replicas are ready.\n"
       "Each pod's output is printed as \"POD:TEXT\".\n"},
      {"demo",
       "usage: wqosctl demo [-v]\n"
       "\n"
       "Starts the built-in cluster with its sample application, backs the application up,\n"
       "lists the files in the mounted snapshots, verifies and describes the backup,\n"
       "releases the snapshots, deletes the application,\n"
       "restores it under new claim names and checks that every file (bytes, mode, owner,\n"
       "time) and every object came back.\n"},
  };
  return texts;
}

}  // namespace

std::string HelpText(const std::string& command) {
  const auto found = CommandHelp().find(command);
  if (found == CommandHelp().end()) return std::string(kToolHelp) + "\n" + kLoginHelp;
  return found->second + "\n" + kLoginHelp;
}

}  // namespace wqosctl
