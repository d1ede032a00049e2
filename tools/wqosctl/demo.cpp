// wqosctl demo: the whole cycle on the built-in cluster's sample application, checked step
// by step: backup, the files in the mounted snapshots, verification and description of the
// backup, release, deletion of the application, restore under new claim names, and a
// comparison of every file and object with the original.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/embedded.h"
#include "tools/wqosctl/fileTree.h"
#include "tools/wqosctl/integrity.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/sampleApp.h"
#include "wrapper/dcPods.h"

namespace wqosctl {

using namespace OpenShiftSDKWrapper;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

class Checks {
 public:
  // `detail` is shown for a failed check only.
  bool Check(bool ok, const std::string& what, const std::string& detail = std::string()) {
    ++(ok ? passed : failed);
    PrintErr(std::string(ok ? "    check ok:     " : "    check FAILED: ") + what +
             (ok || detail.empty() ? std::string() : " (" + detail + ")") + "\n");
    return ok;
  }
  int passed = 0;
  int failed = 0;
};

void Section(const std::string& title) { PrintErr("\n=== " + title + "\n"); }

// Runs one of the tool's commands as if it had been given on the command line.
int Command(Context& context, Invocation invocation) {
  invocation.verbose = context.invocation.verbose;
  Context inner{invocation, context.session, context.cluster};
  std::string shown = "$ wqosctl " + invocation.command;
  for (const std::string& word : invocation.positional) shown += " " + word;
  if (invocation.command != "release" && !IsOfflineCommand(invocation.command)) {
    shown += " -n " + invocation.nameSpace;
  }
  const std::pair<const char*, const std::string*> options[] = {
      {"--dir", &invocation.dir},
      {"--quiesce-annotation", &invocation.quiesce},
      {"--unquiesce-annotation", &invocation.unquiesce},
      {"--from", &invocation.from}};
  for (const auto& option : options) {
    if (!option.second->empty()) shown += std::string(" ") + option.first + " " + *option.second;
  }
  if (invocation.copyData) shown += " --copy-data";
  if (invocation.output == "json") shown += " -o json";
  if (!invocation.words.empty()) shown += " " + PodCommandLine(invocation.words);
  PrintErr(shown + "\n");
  return RunCommand(inner);
}

Invocation Make(const std::string& command, std::vector<std::string> positional) {
  Invocation invocation;
  invocation.command = command;
  invocation.positional = std::move(positional);
  invocation.nameSpace = kSampleNamespace;
  return invocation;
}

// An object as the cluster holds it, read past the library; null when absent.
mValue RawObject(EmbeddedCluster& cluster, const std::string& path) {
  wqsim::ApiRequest request{"GET", path, std::string(), false};
  wqsim::ApiAnswer answer;
  mValue value;
  if (!cluster.Api().Serve(request, answer) || answer.status != 200 ||
      !json_spirit::read_string(answer.body, value)) {
    return mValue();
  }
  return value;
}

bool DeleteRaw(EmbeddedCluster& cluster, const std::string& path) {
  wqsim::ApiRequest request{"DELETE", path, std::string(), false};
  wqsim::ApiAnswer answer;
  return cluster.Api().Serve(request, answer) && answer.status == 200;
}

// Whether a member holding `value` means the same as no member: the library writes some
// members always (booleans, "generation": 0, ...) and leaves null ones out, so a re-created
// object differs from the saved one in those forms only.
bool SameAsAbsent(const mValue& value) {
  switch (value.type()) {
    case json_spirit::null_type:
      return true;
    case json_spirit::bool_type:
      return !value.get_bool();
    case json_spirit::int_type:
      return value.get_int64() == 0;
    case json_spirit::str_type:
      return value.get_str().empty();
    case json_spirit::obj_type:
      for (const auto& member : value.get_obj()) {
        if (!SameAsAbsent(member.second)) return false;
      }
      return true;
    case json_spirit::array_type:
      return value.get_array().empty();
    default:
      return false;
  }
}

// Where two JSON values first differ, as "path: a != b"; empty when they are equal, taking
// members that mean nothing (SameAsAbsent) as absent.
std::string FirstDifference(const mValue& a, const mValue& b, const std::string& path) {
  if (a.type() == json_spirit::obj_type && b.type() == json_spirit::obj_type) {
    mObject keys = a.get_obj();
    for (const auto& entry : b.get_obj()) keys[entry.first];
    for (const auto& entry : keys) {
      const auto left = a.get_obj().find(entry.first);
      const auto right = b.get_obj().find(entry.first);
      const mValue none;
      const std::string difference = FirstDifference(
          left != a.get_obj().end() ? left->second : none,
          right != b.get_obj().end() ? right->second : none, path + "." + entry.first);
      if (!difference.empty()) return difference;
    }
    return std::string();
  }
  if (a.type() == json_spirit::array_type && b.type() == json_spirit::array_type &&
      a.get_array().size() == b.get_array().size()) {
    for (size_t i = 0; i < a.get_array().size(); ++i) {
      const std::string difference =
          FirstDifference(a.get_array()[i], b.get_array()[i], path + "[" + std::to_string(i) + "]");
      if (!difference.empty()) return difference;
    }
    return std::string();
  }
  if (a == b || (SameAsAbsent(a) && SameAsAbsent(b))) return std::string();
  return path + ": " + json_spirit::write_string(a) + " != " + json_spirit::write_string(b);
}

mValue Member(const mValue& value, const std::string& key) {
  if (value.type() != json_spirit::obj_type) return mValue();
  const auto found = value.get_obj().find(key);
  return found != value.get_obj().end() ? found->second : mValue();
}

std::string Path(const std::string& kind, const std::string& name) {
  const std::string group = kind == "deploymentconfigs" ? "/oapi/v1" : "/api/v1";
  return group + "/namespaces/" + kSampleNamespace + "/" + kind + "/" + name;
}

struct Saved {
  std::map<std::string, mValue> objects;  // by API path
};

const std::vector<std::string>& ObjectPaths() {
  static const std::vector<std::string> paths = {
      Path("secrets", "web-secret"), Path("configmaps", "web-config"),
      Path("configmaps", "web-env"), Path("deploymentconfigs", kSampleDeploymentConfig)};
  return paths;
}

std::vector<std::string> RunningPods(WQOpenShiftSDKWrapper& sdk) {
  std::vector<SPodInfoLib> pods;
  std::vector<std::string> names;
  sdk.GetPodInfoList(kSampleNamespace, pods, 0);
  for (const SPodInfoLib& pod : pods) {
    if (IsRunningPodOfDeploymentConfig(pod, kSampleDeploymentConfig)) {
      names.push_back(pod.metadata.name);
    }
  }
  return names;
}

void CheckQuiesceLogs(Context& context, Checks& checks) {
  for (const std::string& pod : RunningPods(context.session.Sdk())) {
    std::ifstream log(context.cluster->PodsDir() + "/" + kSampleNamespace + "/" + pod +
                      "/quiesce.log");
    std::vector<std::string> words;
    for (std::string line; std::getline(log, line);)
      words.push_back(line.substr(0, line.find(' ')));
    checks.Check(words == std::vector<std::string>{"quiesced", "unquiesced"},
                 "pod " + pod + " was quiesced, then unquiesced", Joined(words));
  }
}

void CheckTree(Checks& checks, const std::string& what, const std::string& claim,
               const std::string& root, bool show) {
  std::vector<FileEntry> entries;
  std::string error;
  if (!checks.Check(ListTree(root, true, entries, error), "list " + root, error)) return;
  if (show) {
    for (const FileEntry& entry : entries) PrintErr("      " + DescribeEntry(entry) + "\n");
  }
  const std::vector<std::string> differences =
      CompareTrees(ExpectedSampleEntries(claim), entries, true);
  checks.Check(differences.empty(),
               what + ": " + std::to_string(entries.size()) +
                   " entries, bytes, modes, owners and times as written",
               Joined(differences));
}

// The snapshots of the backup: mounted read-only under the backup directory.
void CheckSnapshots(const Manifest& manifest, const std::string& backupDir, Checks& checks) {
  for (const ManifestVolume& volume : manifest.volumes) {
    const SVolumeInfoLib& record = volume.record;
    checks.Check(IsMounted(record.glusterfs.path), "snapshot " + record.glusterfs.snapshotName +
                                                       " is mounted on " + record.glusterfs.path);
    CheckTree(checks, "snapshot of " + record.name, record.name, record.glusterfs.path, true);
    if (!volume.dataCopy.empty()) {
      CheckTree(checks, "data copy of " + record.name, record.name,
                backupDir + "/" + volume.dataCopy, false);
    }
  }
}

void CheckReleased(Context& context, const Manifest& manifest, Checks& checks) {
  WQOpenShiftSDKWrapper& sdk = context.session.Sdk();
  for (const ManifestVolume& volume : manifest.volumes) {
    const SVolumeInfoLib& record = volume.record;
    checks.Check(!IsMounted(record.glusterfs.path), record.glusterfs.path + " is unmounted");
    SPersistentVolumeInfoLib pv;
    std::vector<std::string> snapshots;
    const bool listed =
        !volume.nodes.empty() && sdk.GetPersistentVolumeInfo(record.persistentVolumeName, pv, 0) &&
        sdk.GetGlusterVolumeSnapshotList(volume.nodes.front(), pv.spec.glusterfs.path, snapshots);
    checks.Check(listed && std::find(snapshots.begin(), snapshots.end(),
                                     record.glusterfs.snapshotName) == snapshots.end(),
                 "snapshot " + record.glusterfs.snapshotName + " is deleted",
                 listed ? "left: " + Joined(snapshots) : "cannot list the snapshots");
  }
}

// Deletes the deployment config (its pods go with it), its secret and config maps, and
// empties the old claims' volumes, so that only the backup can bring anything back.
void DeleteApplication(Context& context, Checks& checks) {
  WQOpenShiftSDKWrapper& sdk = context.session.Sdk();
  EmbeddedCluster& cluster = *context.cluster;
  SDeleteOptionsInfoLib options;
  checks.Check(sdk.DeleteDeploymentConfig(kSampleNamespace, kSampleDeploymentConfig, options),
               "deployment config " + std::string(kSampleDeploymentConfig) + " deleted");
  for (const std::string& path : ObjectPaths()) {
    if (path.find("/deploymentconfigs/") == std::string::npos) {
      checks.Check(DeleteRaw(cluster, path), path + " deleted");
    }
  }
  checks.Check(RunningPods(sdk).empty(), "no pod of the application runs");
  for (const std::string& claim : SampleClaims()) {
    const std::string dir = cluster.WorkDir() + "/damage/" + claim;
    std::string error;
    bool ok = cluster.MountVolume(EmbeddedCluster::GlusterVolumeOf(sdk, kSampleNamespace, claim),
                                  dir, error);
    if (ok) {
      std::vector<std::string> names;
      ok = DirectoryNames(dir, names, error);
      for (const std::string& name : names) {
        std::error_code code;
        if (name[0] != '.') std::filesystem::remove_all(dir + "/" + name, code);
        if (code) error = "cannot remove " + dir + "/" + name + ": " + code.message();
        ok = ok && !code;
      }
      ok = cluster.UnmountVolume(dir, error) && ok;
    }
    checks.Check(ok, "the files of the old claim " + claim + " removed", error);
  }
}

// The restored objects against the saved ones: equal, but for the claim names.
void CheckObjects(Context& context, const Saved& saved,
                  const std::map<std::string, std::string>& newNames, Checks& checks) {
  EmbeddedCluster& cluster = *context.cluster;
  for (const std::string& path : ObjectPaths()) {
    const mValue before = saved.objects.at(path);
    const mValue after = RawObject(cluster, path);
    if (path.find("/deploymentconfigs/") == std::string::npos) {
      checks.Check(after.type() == json_spirit::obj_type &&
                       Member(after, "data") == Member(before, "data") &&
                       Member(after, "type") == Member(before, "type"),
                   path + " restored with the same data");
      continue;
    }
    mValue spec = Member(after, "spec");
    mValue restoredTemplate = Member(spec, "template");
    mValue originalTemplate = Member(Member(before, "spec"), "template");
    // Put the saved claim names back in the restored template before comparing.
    mValue podSpec = Member(restoredTemplate, "spec");
    if (podSpec.type() == json_spirit::obj_type) {
      mObject& podObject = podSpec.get_obj();
      if (podObject["volumes"].type() == json_spirit::array_type) {
        for (mValue& volume : podObject["volumes"].get_array()) {
          mValue claim = Member(volume, "persistentVolumeClaim");
          if (claim.type() != json_spirit::obj_type) continue;
          const std::string name = Member(claim, "claimName").type() == json_spirit::str_type
                                       ? Member(claim, "claimName").get_str()
                                       : std::string();
          for (const auto& entry : newNames) {
            if (entry.second == name) {
              volume.get_obj()["persistentVolumeClaim"].get_obj()["claimName"] = entry.first;
            }
          }
        }
      }
      restoredTemplate.get_obj()["spec"] = podSpec;
    }
    const std::string difference = FirstDifference(originalTemplate, restoredTemplate, "template");
    checks.Check(difference.empty(),
                 "deployment config template restored (containers, environment, volumes)",
                 difference);
    checks.Check(Member(Member(after, "metadata"), "annotations") ==
                     Member(Member(before, "metadata"), "annotations"),
                 "deployment config annotations (quiesce commands) restored");
    checks.Check(Member(spec, "replicas") == Member(Member(before, "spec"), "replicas"),
                 "deployment config replicas restored");
  }
}

void CheckRestored(Context& context, const Saved& saved, Checks& checks) {
  WQOpenShiftSDKWrapper& sdk = context.session.Sdk();
  EmbeddedCluster& cluster = *context.cluster;
  SDeploymentConfigInfoLib config;
  if (!checks.Check(
          sdk.GetDeploymentConfigInfo(kSampleNamespace, kSampleDeploymentConfig, config, 0),
          "deployment config restored")) {
    return;
  }
  std::map<std::string, std::string> newNames;  // saved name to restored name
  for (const SVolumeInfoLib& volume : config.spec.templateSpec.spec.volumes) {
    const std::string& claim = volume.persistentVolumeClaim.claimName;
    if (claim.empty()) continue;
    for (const std::string& saved : SampleClaims()) {
      if (claim.compare(0, saved.size() + 1, saved + "-") == 0) newNames[saved] = claim;
    }
  }
  std::vector<std::string> shown;
  for (const auto& entry : newNames) shown.push_back(entry.first + "->" + entry.second);
  checks.Check(newNames.size() == SampleClaims().size(),
               "every volume of the deployment config uses a new claim: " + Joined(shown));
  for (const auto& entry : newNames) {
    SPersistentVolumeClaimInfoLib claim;
    checks.Check(sdk.GetPersistentVolumeClaimInfo(kSampleNamespace, entry.second, claim, 0) &&
                     claim.status.phase == "Bound",
                 "claim " + entry.second + " is bound", claim.status.phase);
    const std::string dir = cluster.WorkDir() + "/verify/" + entry.second;
    std::string error;
    const std::string volume =
        EmbeddedCluster::GlusterVolumeOf(sdk, kSampleNamespace, entry.second);
    if (!checks.Check(cluster.MountVolume(volume, dir, error),
                      "mount GlusterFS volume " + volume + " of claim " + entry.second, error)) {
      continue;
    }
    CheckTree(checks, "claim " + entry.second, entry.first, dir, true);
    checks.Check(cluster.UnmountVolume(dir, error), "unmount " + dir, error);
  }
  CheckObjects(context, saved, newNames, checks);
  sdk.GetDeploymentConfigInfo(kSampleNamespace, kSampleDeploymentConfig, config, 0);
  const std::vector<std::string> pods = RunningPods(sdk);
  checks.Check(
      config.status.replicas > 0 && config.status.readyReplicas == config.status.replicas &&
          static_cast<int>(pods.size()) == config.status.replicas,
      "the restored application runs " + std::to_string(pods.size()) + " pods", Joined(pods));
}

}  // namespace

int RunDemo(Context& context) {
  if (context.cluster == nullptr) {
    PrintErr("wqosctl: the demo runs on the built-in cluster only\n");
    return kExitUsage;
  }
  const auto started = std::chrono::steady_clock::now();
  EmbeddedCluster& cluster = *context.cluster;
  const std::string backupDir = cluster.WorkDir() + "/backup";
  Checks checks;
  Saved saved;

  Section("1. The sample application");
  for (const char* kind : {"dc", "pvc", "pods"}) Command(context, Make("get", {kind}));
  for (const std::string& path : ObjectPaths()) {
    saved.objects[path] = RawObject(cluster, path);
    checks.Check(saved.objects[path].type() == json_spirit::obj_type, "read " + path);
  }

  Section("2. Back up " + std::string(kSampleNamespace) + "/" + kSampleDeploymentConfig);
  Invocation backup = Make("backup", {kSampleDeploymentConfig});
  backup.dir = backupDir;
  backup.quiesce = kSampleQuiesceAnnotation;
  backup.unquiesce = kSampleUnquiesceAnnotation;
  backup.copyData = true;
  checks.Check(Command(context, backup) == kExitOk, "backup succeeded");
  CheckQuiesceLogs(context, checks);
  Manifest manifest;
  std::string error;
  checks.Check(ReadManifest(backupDir, manifest, error) && manifest.complete &&
                   manifest.volumes.size() == SampleClaims().size(),
               "the manifest lists " + std::to_string(SampleClaims().size()) + " volumes", error);
  for (const char* file : {"deploymentconfig_web", "pvc_web-data", "pvc_web-logs",
                           "secret_web-secret", "configmap_web-config", "configmap_web-env"}) {
    std::error_code code;
    checks.Check(std::filesystem::is_regular_file(backupDir + "/" + file, code),
                 std::string("definition ") + file + " saved");
  }

  Section("3. The files in the mounted snapshots");
  CheckSnapshots(manifest, backupDir, checks);

  Section("4. Verify and describe the backup");
  for (const ManifestVolume& volume : manifest.volumes) {
    checks.Check(volume.data.recorded && volume.data.files > 0,
                 "the manifest records the data copy of " + volume.record.name + ": " +
                     RecordSummary(volume.data));
  }
  Invocation verify = Make("verify", {});
  verify.dir = backupDir;
  checks.Check(Command(context, verify) == kExitOk, "the data copy matches its record");
  Invocation describe = Make("describe", {});
  describe.dir = backupDir;
  checks.Check(Command(context, describe) == kExitOk, "describe shows the backup");

  Section("5. Release the snapshots");
  Invocation release = Make("release", {});
  release.dir = backupDir;
  checks.Check(Command(context, release) == kExitOk, "release succeeded");
  CheckReleased(context, manifest, checks);

  Command(context, describe);

  Section("6. Delete the application");
  DeleteApplication(context, checks);

  Section("7. Restore it under new claim names (each claim read back against the backup)");
  Invocation restore = Make("restore", {kSampleDeploymentConfig});
  restore.from = backupDir;
  checks.Check(Command(context, restore) == kExitOk, "restore succeeded");
  Command(context, Make("get", {"pvc"}));
  Command(context, Make("get", {"pods"}));

  Section("8. Compare with the original");
  CheckRestored(context, saved, checks);
  Invocation exec = Make("exec", {kSampleDeploymentConfig});
  exec.words = {"sh", "-c", "echo running in $HOSTNAME"};
  checks.Check(Command(context, exec) == kExitOk, "a command runs in the restored pods");

  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
          .count();
  PrintErr("\ndemo: " + std::to_string(checks.passed) + " checks passed, " +
           std::to_string(checks.failed) + " failed, " + std::to_string(seconds) + " s\n");
  return checks.failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace wqosctl
