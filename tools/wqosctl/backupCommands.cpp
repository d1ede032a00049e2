// wqosctl backup and release: snapshots of a deployment config's volumes, mounted under a
// backup directory with the definitions of its objects, and their release afterwards.
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "host/safeFiles.h"
#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/fileTree.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/plan.h"
#include "wrapper/dcPods.h"

namespace wqosctl {

using namespace OpenShiftSDKWrapper;
namespace fs = std::filesystem;

namespace {

volatile std::sig_atomic_t interrupted = 0;

void NoteInterrupt(int) { interrupted = 1; }

// While the application is quiesced, an interrupt only ends the step that runs (its
// children get the signal too); the unquiesce command still runs before the tool ends.
class InterruptDeferral {
 public:
  InterruptDeferral() {
    interrupted = 0;
    struct sigaction action {};
    action.sa_handler = &NoteInterrupt;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &saved_[i]);
  }
  ~InterruptDeferral() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &saved_[i], nullptr);
  }
  InterruptDeferral(const InterruptDeferral&) = delete;
  InterruptDeferral& operator=(const InterruptDeferral&) = delete;

 private:
  static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction saved_[3];
};

std::string NowUtc() {
  char text[32];
  const std::time_t now = std::time(nullptr);
  struct tm utc {};
  gmtime_r(&now, &utc);
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// The export files the backup wrote, by name.
std::vector<std::string> ExportFiles(const std::string& dir) {
  std::vector<std::string> names;
  std::vector<std::string> files;
  std::string ignored;
  DirectoryNames(dir, names, ignored);
  for (const std::string& name : names) {
    struct stat info {};
    if (lstat((dir + "/" + name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    for (const char* prefix : {"deploymentconfig_", "pvc_", "secret_", "configmap_"}) {
      if (name.compare(0, std::strlen(prefix), prefix) == 0) files.push_back(name);
    }
  }
  return files;
}

// Runs the command of annotation `key` in the deployment config's pods as one step.
bool RunAnnotation(Context& context, Progress& progress, const std::string& what,
                   const std::string& key) {
  const Invocation& invocation = context.invocation;
  const std::string& dc = invocation.positional[0];
  progress.Begin(what + ": the command of annotation " + key + " in the pods of " + dc);
  std::string out;
  std::string err;
  const bool ok =
      context.session.Sdk().ExecuteAnnotationCommandInDC(invocation.nameSpace, dc, key, out, err);
  if (ok) {
    for (const std::string& line : SplitLines(out)) {
      if (!line.empty()) progress.Note(line);
    }
  }
  return progress.End(ok);
}

// An unreleased backup in the directory would lose its records if it were overwritten.
bool DirectoryIsFree(const std::string& dir, std::string& error) {
  Manifest existing;
  std::string ignored;
  std::error_code code;
  if (!fs::exists(ManifestPath(dir), code) || !ReadManifest(dir, existing, ignored)) return true;
  for (const ManifestVolume& volume : existing.volumes) {
    if (!volume.released) {
      error = dir + " holds a backup of " + existing.nameSpace + "/" + existing.deploymentConfig +
              " whose snapshots are not released: run \"wqosctl release --dir " + dir +
              "\" first";
      return false;
    }
  }
  return true;
}

// The files of a released backup in the directory: a restore from the new backup would
// otherwise also put back objects and files that only the old one saved.
bool ClearReleasedBackup(const std::string& dir, Progress& progress, std::string& error) {
  Manifest old;
  std::string ignored;
  if (!ReadManifest(dir, old, ignored)) return true;
  std::vector<std::string> paths = {dir + "/data", ManifestPath(dir)};
  for (const std::string& file : ExportFiles(dir)) paths.push_back(dir + "/" + file);
  for (const std::string& path : paths) {
    std::error_code code;
    fs::remove_all(path, code);
    if (code) {
      error = "cannot remove " + path + " of the released backup: " + code.message();
      return false;
    }
  }
  progress.Note("removed the released backup of " + old.nameSpace + "/" +
                old.deploymentConfig + " saved " + old.created);
  return true;
}

void CopyData(const std::string& dir, Manifest& manifest, Progress& progress) {
  for (ManifestVolume& volume : manifest.volumes) {
    const std::string relative = "data/" + volume.record.name;
    const std::string target = dir + "/" + relative;
    progress.Begin("copy the files of claim " + volume.record.name + " to " + target);
    CopyStats stats;
    std::string error;
    // Made owner-only below the checked backup directory; a link at data/ or at the claim's
    // name is refused, not followed.
    const UniqueFd base = OpenDirectory(dir, error);
    const bool made =
        base.IsOpen() && OpenDirectoryBelow(base.Get(), dir, relative, true, 0700, error).IsOpen();
    if (!made || !CopyTree(volume.record.glusterfs.path, target, stats, error)) {
      progress.End(false, error);
    } else {
      volume.dataCopy = relative;
      for (const std::string& warning : stats.warnings) progress.Note(warning);
      progress.End(true, CopySummary(stats));
    }
  }
}

int Backup(Context& context) {
  const Invocation& invocation = context.invocation;
  const std::string& ns = invocation.nameSpace;
  const std::string& dc = invocation.positional[0];
  const std::string dir = Absolute(invocation.dir);
  WQOpenShiftSDKWrapper& sdk = context.session.Sdk();
  Progress progress("backup of " + ns + "/" + dc);

  Manifest manifest;
  manifest.nameSpace = ns;
  manifest.deploymentConfig = dc;
  manifest.snapshotName = invocation.snapshotName.empty() ? "wqosctl-" + dc : invocation.snapshotName;
  manifest.created = NowUtc();

  progress.Begin("read deployment config " + ns + "/" + dc + " and its storage nodes");
  SDeploymentConfigInfoLib config;
  if (!sdk.GetDeploymentConfigInfo(ns, dc, config, 0)) {
    progress.End(false, "cannot read the deployment config");
    return progress.Summary();
  }
  std::vector<std::string> nodes;
  for (const SVolumeInfoLib& volume : config.spec.templateSpec.spec.volumes) {
    SPersistentVolumeClaimInfoLib claim;
    const std::string& name = volume.persistentVolumeClaim.claimName;
    if (name.empty() || !sdk.GetPersistentVolumeClaimInfo(ns, name, claim, 0)) continue;
    for (const std::string& node : VolumeNodes(sdk, ns, claim.spec.volumeName)) {
      if (std::find(nodes.begin(), nodes.end(), node) == nodes.end()) nodes.push_back(node);
    }
  }
  std::string error;
  const bool nodesOk = context.session.AddNodes(nodes, error);
  if (!progress.End(nodesOk, nodesOk ? "storage nodes: " + Joined(nodes) : error)) {
    return progress.Summary();
  }

  progress.Begin("prepare " + dir);
  if (!MakePrivateDirectory(dir, error) || !DirectoryIsFree(dir, error) ||
      !ClearReleasedBackup(dir, progress, error)) {
    progress.End(false, error);
    return progress.Summary();
  }
  progress.End(true);

  std::vector<SVolumeInfoLib> records;
  bool snapshotsOk = false;
  {
    InterruptDeferral deferral;
    const bool quiesced =
        invocation.quiesce.empty() || RunAnnotation(context, progress, "quiesce", invocation.quiesce);
    if (quiesced && !interrupted) {
      progress.Begin("snapshot the volumes of " + dc + " (snapshot name " +
                     manifest.snapshotName + ") and save its objects");
      snapshotsOk =
          sdk.CreateDeploymentSnapshot(ns, dc, manifest.snapshotName, dir, records);
      progress.End(snapshotsOk, std::to_string(records.size()) + " snapshots mounted");
    }
    // Whatever happened after the quiesce command was tried.
    if (!invocation.unquiesce.empty()) {
      RunAnnotation(context, progress, "unquiesce", invocation.unquiesce);
    }
  }

  for (const SVolumeInfoLib& record : records) {
    ManifestVolume volume;
    volume.record = record;
    volume.nodes = VolumeNodes(sdk, ns, record.persistentVolumeName);
    manifest.volumes.push_back(volume);
    progress.Note("claim " + record.name + ": GlusterFS snapshot " + record.glusterfs.snapshotName +
                  " mounted on " + record.glusterfs.path);
  }
  if (snapshotsOk && invocation.copyData && !interrupted) CopyData(dir, manifest, progress);

  manifest.files = ExportFiles(dir);
  manifest.complete = snapshotsOk && progress.failures() == 0 && !interrupted;
  progress.Begin("write " + ManifestPath(dir));
  const bool written = WriteManifest(dir, manifest, error);
  progress.End(written, written ? std::string() : error);
  if (interrupted) progress.Failure("interrupted");
  if (!manifest.complete && !manifest.volumes.empty()) {
    progress.Note("release the snapshots taken with: wqosctl release --dir " + dir);
  }
  return progress.Summary(std::to_string(manifest.volumes.size()) + " volumes, " +
                          std::to_string(manifest.files.size()) + " files in " + dir);
}

// Which objects the deployment config's backup saves, as the snapshot workflow picks them.
void PlanReferences(const SDeploymentConfigInfoLib& config, const std::string& dir, Plan& plan) {
  for (const SVolumeInfoLib& volume : config.spec.templateSpec.spec.volumes) {
    if (volume.hasConfigMap) plan.File(dir + "/configmap_" + volume.configMap.name, "config map");
  }
  for (const SContainerInfoLib& container : config.spec.templateSpec.spec.containers) {
    for (const SEnvFromSourceInfoLib& from : container.envFrom) {
      if (!from.configMapRef.name.empty()) {
        plan.File(dir + "/configmap_" + from.configMapRef.name, "config map");
      }
      if (!from.secretRef.name.empty()) plan.File(dir + "/secret_" + from.secretRef.name, "secret");
    }
    for (const SEnvVarInfoLib& env : container.env) {
      const std::string& map = env.valueFrom.configMapKeyRef.name;
      const std::string& secret = env.valueFrom.secretKeyRef.name;
      if (!map.empty()) plan.File(dir + "/configmap_" + map, "config map");
      if (!secret.empty()) plan.File(dir + "/secret_" + secret, "secret");
    }
  }
  plan.File(dir + "/deploymentconfig_" + config.metadata.name, "deployment config");
}

void PlanCommand(Context& context, const SDeploymentConfigInfoLib& config, const std::string& key,
                 const std::string& what, Plan& plan) {
  const auto& annotations = config.metadata.annotations.keyValues;
  const auto entry = std::find_if(annotations.begin(), annotations.end(),
                                  [&](const SKeyValueInfoLib& e) { return e.key == key; });
  if (entry == annotations.end()) {
    plan.Problem("the deployment config has no annotation " + key);
    return;
  }
  const std::string command = entry->value;
  std::vector<SPodInfoLib> pods;
  std::vector<std::string> names;
  if (context.session.Sdk().GetPodInfoList(context.invocation.nameSpace, pods, 0)) {
    for (const SPodInfoLib& pod : pods) {
      if (IsRunningPodOfDeploymentConfig(pod, config.metadata.name)) {
        names.push_back(pod.metadata.name);
      }
    }
  }
  plan.Command(what + " (annotation " + key + ")", command, names);
}

int BackupPlan(Context& context) {
  const Invocation& invocation = context.invocation;
  const std::string& ns = invocation.nameSpace;
  const std::string& dc = invocation.positional[0];
  const std::string dir = Absolute(invocation.dir);
  WQOpenShiftSDKWrapper& sdk = context.session.Sdk();
  Plan plan("backup of " + ns + "/" + dc + " into " + dir);
  SDeploymentConfigInfoLib config;
  if (!sdk.GetDeploymentConfigInfo(ns, dc, config, 0)) {
    plan.Problem("deployment config " + ns + "/" + dc + " cannot be read");
    return plan.Print();
  }
  std::string error;
  if (!DirectoryIsFree(dir, error)) plan.Problem(error);
  const std::string snapshot =
      invocation.snapshotName.empty() ? "wqosctl-" + dc : invocation.snapshotName;
  if (!invocation.quiesce.empty()) PlanCommand(context, config, invocation.quiesce, "quiesce", plan);
  for (const SVolumeInfoLib& volume : config.spec.templateSpec.spec.volumes) {
    if (!volume.hasPersistentVolumeClaim) continue;
    const std::string& claimName = volume.persistentVolumeClaim.claimName;
    SPersistentVolumeClaimInfoLib claim;
    SPersistentVolumeInfoLib pv;
    if (!sdk.GetPersistentVolumeClaimInfo(ns, claimName, claim, 0)) {
      plan.Problem("claim " + claimName + " cannot be read");
      continue;
    }
    if (!sdk.GetPersistentVolumeInfo(claim.spec.volumeName, pv, 0) ||
        pv.spec.glusterfs.path.empty()) {
      plan.Problem("claim " + claimName + " is bound to no GlusterFS volume");
      continue;
    }
    plan.Object("claim " + claimName + ": persistent volume " + pv.metadata.name +
                ", GlusterFS volume " + pv.spec.glusterfs.path + " on " +
                Joined(VolumeNodes(sdk, ns, pv.metadata.name)) + ", " +
                ValueOf(pv.spec.capacity, "storage"));
    plan.Step("snapshot " + pv.spec.glusterfs.path + " as " + snapshot +
              "_GMT-<time>, activate it and mount it on " + dir + "/" + claimName);
    plan.File(dir + "/pvc_" + claimName, "claim");
  }
  PlanReferences(config, dir, plan);
  if (!invocation.unquiesce.empty()) {
    PlanCommand(context, config, invocation.unquiesce, "unquiesce", plan);
  }
  if (invocation.copyData) plan.Step("copy the snapshots' files to " + dir + "/data/CLAIM");
  plan.File(ManifestPath(dir), "manifest");
  return plan.Print();
}

bool Release(Context& context, const std::string& dir, Manifest& manifest, ManifestVolume& volume,
             Progress& progress) {
  SVolumeInfoLib& record = volume.record;
  WQOpenShiftSDKWrapper& sdk = context.session.Sdk();
  progress.Begin("claim " + record.name + ": unmount " + record.glusterfs.path +
                 ", delete snapshot " + record.glusterfs.snapshotName);
  if (volume.released) return progress.End(true, "already released");
  const bool wasMounted = IsMounted(record.glusterfs.path);
  if (wasMounted && !sdk.UnmountVolume(manifest.nameSpace, record)) {
    return progress.End(false, "cannot unmount; the snapshot is kept");
  }
  if (!wasMounted) progress.Note(record.glusterfs.path + " was not mounted");
  if (!sdk.DeleteVolumeSnapshot(manifest.nameSpace, record)) {
    return progress.End(false, "cannot delete the snapshot");
  }
  volume.released = true;
  std::string error;
  if (!WriteManifest(dir, manifest, error)) return progress.End(false, error);
  return progress.End(true);
}

}  // namespace

int RunBackup(Context& context) {
  return context.invocation.dryRun ? BackupPlan(context) : Backup(context);
}

int RunRelease(Context& context) {
  const std::string dir = Absolute(context.invocation.dir);
  Manifest manifest;
  std::string error;
  if (!ReadManifest(dir, manifest, error)) {
    PrintErr("wqosctl: " + error + "\n");
    return kExitFailed;
  }
  const std::string& ns = context.invocation.nameSpace;
  if (!ns.empty() && ns != manifest.nameSpace) {
    PrintErr("wqosctl: the backup in " + dir + " is of namespace " + manifest.nameSpace +
             ", not " + ns + "\n");
    return kExitFailed;
  }
  Progress progress("release of " + dir);
  std::vector<std::string> nodes;
  for (const ManifestVolume& volume : manifest.volumes) {
    nodes.insert(nodes.end(), volume.nodes.begin(), volume.nodes.end());
  }
  if (!context.session.AddNodes(nodes, error)) {
    progress.Failure(error);
    return progress.Summary();
  }
  size_t released = 0;
  for (ManifestVolume& volume : manifest.volumes) {
    if (Release(context, dir, manifest, volume, progress)) ++released;
  }
  return progress.Summary(std::to_string(released) + " of " +
                          std::to_string(manifest.volumes.size()) + " snapshots released");
}

}  // namespace wqosctl
