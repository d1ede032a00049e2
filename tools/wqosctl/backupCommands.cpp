// wqosctl backup and release: snapshots of a deployment config's volumes, mounted under a
// backup directory with the definitions of its objects, and their release afterwards.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>

#include "host/safeFiles.h"
#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/embedded.h"
#include "tools/wqosctl/fileTree.h"
#include "tools/wqosctl/guardian.h"
#include "tools/wqosctl/integrity.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/plan.h"
#include "tools/wqosctl/podNeeds.h"
#include "tools/wqosctl/project.h"
#include "wrapper/dcPods.h"

namespace wqosctl {

using namespace OpenShiftSDKWrapper;
namespace fs = std::filesystem;

struct InterruptDeferral::Saved {
  struct sigaction actions[3];
};

namespace {

volatile std::sig_atomic_t interrupted = 0;

void NoteInterrupt(int) { interrupted = 1; }

constexpr int kDeferredSignals[3] = {SIGINT, SIGTERM, SIGHUP};

// The suffix GlusterFS appends to a snapshot's name: "_GMT-" and the UTC time of its creation.
const char* const kSnapshotTimeFormat = "%Y.%m.%d-%H.%M.%S";
const size_t kSnapshotTimeLength = 19;

// The snapshot a planned volume may have got: among `snapshots`, the earliest named as
// GlusterFS names a snapshot asked for as `planned` at or after `plannedAt`.
std::string PlannedSnapshot(const ManifestVolume& volume,
                            const std::vector<std::string>& snapshots) {
  const std::string prefix = volume.plannedSnapshot + "_GMT-";
  std::string found;
  for (const std::string& name : snapshots) {
    if (name.size() != prefix.size() + kSnapshotTimeLength ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(prefix.size(), std::string::npos, volume.plannedAt) < 0) {
      continue;
    }
    if (found.empty() || name < found) found = name;
  }
  return found;
}

enum class SnapshotState { kPresent, kMissing, kElsewhere, kUnknown };

// Whether the snapshot of a volume record (or the one planned for it) exists on the record's
// GlusterFS volume. `name` gets the snapshot's name, `error` what is wrong otherwise.
SnapshotState FindSnapshot(WQOpenShiftSDKWrapper& sdk, const std::string& ns,
                           const ManifestVolume& volume, std::string& name, std::string& error) {
  const SVolumeInfoLib& record = volume.record;
  std::string glusterVolume = volume.glusterVolume;
  SPersistentVolumeInfoLib pv;
  if (!record.persistentVolumeName.empty() &&
      sdk.GetPersistentVolumeInfo(record.persistentVolumeName, pv, 0)) {
    if (glusterVolume.empty()) {
      glusterVolume = pv.spec.glusterfs.path;
    } else if (glusterVolume != pv.spec.glusterfs.path) {
      error = "the manifest's GlusterFS volume " + glusterVolume + " is not that of persistent " +
              "volume " + record.persistentVolumeName + " (" + pv.spec.glusterfs.path + ")";
      return SnapshotState::kUnknown;
    }
  }
  std::vector<std::string> nodes = VolumeNodes(sdk, ns, record.persistentVolumeName);
  if (nodes.empty()) nodes = volume.nodes;
  name = record.glusterfs.snapshotName;
  for (const std::string& node : nodes) {
    std::vector<std::string> snapshots;
    if (!glusterVolume.empty() &&
        !sdk.GetGlusterVolumeSnapshotList(node, glusterVolume, snapshots)) {
      continue;
    }
    if (name.empty()) {
      if (glusterVolume.empty()) break;
      name = PlannedSnapshot(volume, snapshots);
      return name.empty() ? SnapshotState::kMissing : SnapshotState::kPresent;
    }
    if (std::find(snapshots.begin(), snapshots.end(), name) != snapshots.end()) {
      return SnapshotState::kPresent;
    }
    GLUSTER_RESOURCE_STATUS status = GLUSTER_RESOURCE_STOPPED;
    if (!sdk.GetGlusterVolumeSnapshotStatus(node, name, status)) return SnapshotState::kMissing;
    error = glusterVolume.empty()
                ? "the volume of snapshot " + name +
                      " cannot be checked: " + record.persistentVolumeName + " cannot be read"
                : "snapshot " + name + " is not a snapshot of GlusterFS volume " + glusterVolume;
    return SnapshotState::kElsewhere;
  }
  error =
      "no storage node of " + (glusterVolume.empty() ? record.name : glusterVolume) + " answered";
  return SnapshotState::kUnknown;
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
  std::string problem;
  std::error_code code;
  if (!fs::exists(ManifestPath(dir), code)) return true;
  // A manifest that cannot be read (damaged, or of a newer wqosctl) may still name snapshots.
  if (!ReadManifest(dir, existing, problem)) {
    error = dir + " holds a manifest that cannot be read (" + problem + "); it is kept";
    return false;
  }
  for (const ManifestVolume& volume : existing.volumes) {
    if (!volume.released) {
      error = dir + " holds a backup of " + existing.nameSpace + "/" + existing.deploymentConfig +
              " whose snapshots are not released: run \"wqosctl release --dir " + dir + "\" first";
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
  progress.Note("removed the released backup of " + old.nameSpace + "/" + old.deploymentConfig +
                " saved " + old.created);
  return true;
}

void CopyData(const std::string& dir, Manifest& manifest, Progress& progress) {
  for (ManifestVolume& volume : manifest.volumes) {
    if (volume.record.glusterfs.snapshotName.empty() || interrupted) continue;
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
    if (!made || !CopyAndRecord(MountPathOf(dir, volume), target, "copy of " + volume.record.name,
                                stats, volume.data, error)) {
      progress.End(false, error);
    } else {
      volume.dataCopy = relative;
      for (const std::string& warning : stats.warnings) progress.Note(warning);
      progress.End(true, CopySummary(stats));
    }
  }
}

// Writes the manifest as one step; false stops the backup before it takes more.
bool SaveManifest(const std::string& dir, const Manifest& manifest, Progress& progress) {
  progress.Begin("write " + ManifestPath(dir));
  std::string error;
  const bool written = WriteManifest(dir, manifest, error);
  return progress.End(written, written ? std::string() : error);
}

// The snapshot name CreateDeploymentSnapshots asks for the claim at `at` of the plan.
std::string RequestedSnapshot(const std::string& name, size_t at) {
  return at == 0 ? name : name + "_" + std::to_string(at);
}

// Entries whose snapshot (taken or planned) is not mounted and shown missing by the volume's
// snapshot list are dropped from the manifest: never taken, or deleted.
void DropMissingSnapshots(WQOpenShiftSDKWrapper& sdk, Manifest& manifest) {
  std::vector<ManifestVolume> kept;
  for (const ManifestVolume& volume : manifest.volumes) {
    std::string name;
    std::string ignored;
    if (volume.record.snapshotState == 1 ||
        FindSnapshot(sdk, manifest.nameSpace, volume, name, ignored) != SnapshotState::kMissing) {
      kept.push_back(volume);
    }
  }
  manifest.volumes = kept;
}

// The records the library returned, put into the manifest entries of their claims.
void RecordSnapshots(const std::vector<SVolumeInfoLib>& records, Manifest& manifest) {
  for (const SVolumeInfoLib& record : records) {
    for (ManifestVolume& entry : manifest.volumes) {
      if (entry.record.name == record.name) entry.record = record;
    }
  }
}

// Deletes the snapshots among `records` that are not mounted, and drops them from the
// manifest; one that cannot be deleted stays named there for release.
void DeleteUnmounted(WQOpenShiftSDKWrapper& sdk, std::vector<SVolumeInfoLib>& records,
                     Manifest& manifest, Progress& progress) {
  for (SVolumeInfoLib& record : records) {
    if (record.snapshotState == 1) continue;
    progress.Begin("claim " + record.name + ": delete snapshot " + record.glusterfs.snapshotName +
                   ", made for a backup that failed");
    if (!progress.End(sdk.DeleteVolumeSnapshot(manifest.nameSpace, record))) continue;
    const std::string claim = record.name;
    manifest.volumes.erase(
        std::remove_if(manifest.volumes.begin(), manifest.volumes.end(),
                       [&](const ManifestVolume& v) { return v.record.name == claim; }),
        manifest.volumes.end());
  }
}

// Without MountDeploymentSnapshots after the plan: the volumes started for snapshots that
// were not made (from `made` on) are stopped again, and the kept node connections end.
void AbandonPlan(WQOpenShiftSDKWrapper& sdk, SDeploymentBackupPlan& plan, size_t made) {
  for (size_t at = made; at < plan.claims.size(); ++at) {
    const SClaimBackupPlan& claim = plan.claims[at];
    if (claim.stopAfterSnapshot) {
      sdk.StopGlusterVolume(claim.node, claim.volume.spec.glusterfs.path);
    }
  }
  if (plan.reuseTurnedOn) {
    sdk.CloseNodeConnections();
    sdk.SetNodeConnectionReuse(0);
    plan.reuseTurnedOn = false;
  }
}

// What the guardian runs when the tool ended inside the freeze: the unquiesce command, as
// the tool runs it, over a login of its own (the tool's connections may have died
// mid-request with it). A few tries: the freeze must end.
std::function<void()> GuardianUnquiesce(Context& context) {
  const pid_t tool = getpid();
  return [&context, tool] {
    const Invocation& invocation = context.invocation;
    PrintErr(NowUtc() + " wqosctl (process " + std::to_string(tool) + ") ended inside the " +
             "freeze of " + invocation.nameSpace + "/" + invocation.positional[0] +
             " without its unquiesce command: the guardian runs it\n");
    for (int attempt = 1; attempt <= 3; ++attempt) {
      if (attempt > 1) sleep(2);
      Session own(context.session.Server(), context.session.GetCredentials());
      std::string error;
      if (!own.Open(error)) {
        PrintErr("wqosctl guardian: " + error + "\n");
        continue;
      }
      Context guardianContext{invocation, own, context.cluster};
      Progress progress("guardian of the backup of " + invocation.nameSpace + "/" +
                        invocation.positional[0]);
      if (RunAnnotation(guardianContext, progress, "unquiesce", invocation.unquiesce)) {
        progress.Summary();
        return;
      }
      progress.Summary();
    }
  };
}

// The freeze: the quiesce command, one snapshot create per claim, the unquiesce command.
// A guardian started before the quiesce command runs the unquiesce command should this
// process end before it has. `records` gets the snapshots made; true when all were.
bool SnapshotWhileQuiesced(Context& context, const BackupLock& lock,
                           const SDeploymentBackupPlan& plan, const std::string& snapshotName,
                           Progress& progress, std::vector<SVolumeInfoLib>& records) {
  const Invocation& invocation = context.invocation;
  Guardian guardian;
  if (!invocation.unquiesce.empty()) {
    progress.Begin("start the guardian that unquiesces if wqosctl ends before it does");
    std::string error;
    const bool started = guardian.Start(GuardianUnquiesce(context), lock.GuardianLogPath(), error);
    if (!progress.End(started, started ? lock.GuardianLogPath() : error)) return false;
  }
  using Clock = std::chrono::steady_clock;
  const bool quiesced =
      invocation.quiesce.empty() || RunAnnotation(context, progress, "quiesce", invocation.quiesce);
  const Clock::time_point frozen = Clock::now();
  bool made = false;
  if (quiesced && !interrupted) PauseForTest("quiesced");
  if (quiesced && !interrupted) {
    progress.Begin("snapshot the volumes of " + plan.dcName + " (snapshot name " + snapshotName +
                   ", one snapshot create per claim)");
    made = context.session.Sdk().CreateDeploymentSnapshots(plan, snapshotName, records);
    progress.End(made, std::to_string(records.size()) + " of " +
                           std::to_string(plan.claims.size()) + " snapshots made");
    PauseForTest("snapshotted");
  }
  // Whatever happened after the quiesce command was tried.
  if (!invocation.unquiesce.empty()) {
    const Clock::time_point thawed = Clock::now();
    RunAnnotation(context, progress, "unquiesce", invocation.unquiesce);
    guardian.Done();
    if (quiesced && !invocation.quiesce.empty()) {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.3f",
                    std::chrono::duration<double>(thawed - frozen).count());
      progress.Note(std::string("quiesced for ") + seconds + " s");
    }
  }
  return made;
}

// The state of one deployment config's backup as its steps go.
struct BackupRun {
  Context& context;
  const std::string& ns;
  const std::string& dc;
  std::string dir;
  Progress progress;
  SDeploymentConfigInfoLib config;
  std::map<std::string, std::vector<std::string>> claimNodes;
  Manifest manifest;
  SDeploymentBackupPlan plan;
  std::vector<SVolumeInfoLib> records;
  bool planned = false;  // the plan is made: the summary counts volumes and files

  explicit BackupRun(Context& c)
      : context(c),
        ns(c.invocation.nameSpace),
        dc(c.invocation.positional[0]),
        dir(Absolute(c.invocation.dir)),
        progress("backup of " + ns + "/" + dc) {}
  WQOpenShiftSDKWrapper& Sdk() { return context.session.Sdk(); }
};

// The deployment config, and its claims' storage nodes given the default node credentials.
bool ReadConfigAndNodes(BackupRun& run) {
  Progress& progress = run.progress;
  progress.Begin("read deployment config " + run.ns + "/" + run.dc + " and its storage nodes");
  if (!run.Sdk().GetDeploymentConfigInfo(run.ns, run.dc, run.config, 0)) {
    return progress.End(false, "cannot read the deployment config");
  }
  std::vector<std::string> nodes;
  for (const SVolumeInfoLib& volume : run.config.spec.templateSpec.spec.volumes) {
    SPersistentVolumeClaimInfoLib claim;
    const std::string& name = volume.persistentVolumeClaim.claimName;
    if (name.empty() || !run.Sdk().GetPersistentVolumeClaimInfo(run.ns, name, claim, 0)) continue;
    run.claimNodes[name] = VolumeNodes(run.Sdk(), run.ns, claim.spec.volumeName);
    for (const std::string& node : run.claimNodes[name]) {
      if (std::find(nodes.begin(), nodes.end(), node) == nodes.end()) nodes.push_back(node);
    }
  }
  std::string error;
  const bool nodesOk = run.context.session.AddNodes(nodes, error);
  return progress.End(nodesOk, nodesOk ? "storage nodes: " + Joined(nodes) : error);
}

bool PrepareBackupDirectory(BackupRun& run) {
  run.progress.Begin("prepare " + run.dir);
  std::string error;
  if (!MakePrivateDirectory(run.dir, error) || !DirectoryIsFree(run.dir, error) ||
      !ClearReleasedBackup(run.dir, run.progress, error)) {
    return run.progress.End(false, error);
  }
  return run.progress.End(true);
}

// Claims whose snapshot the backup of another deployment config of the project holds leave
// the plan: the manifest names the backup that has them, and no second snapshot is taken.
void SkipSharedClaims(BackupRun& run, const SharedClaims& shared) {
  std::vector<SClaimBackupPlan> kept;
  std::vector<SVolumeInfoLib>& podVolumes = run.plan.dc.spec.templateSpec.spec.volumes;
  for (const SClaimBackupPlan& claim : run.plan.claims) {
    const std::string& name = claim.podVolume.persistentVolumeClaim.claimName;
    const auto owner = shared.find(name);
    if (owner == shared.end()) {
      kept.push_back(claim);
      continue;
    }
    if (claim.stopAfterSnapshot) {
      run.Sdk().StopGlusterVolume(claim.node, claim.volume.spec.glusterfs.path);
    }
    podVolumes.erase(std::remove_if(podVolumes.begin(), podVolumes.end(),
                                    [&](const SVolumeInfoLib& v) {
                                      return v.hasPersistentVolumeClaim &&
                                             v.persistentVolumeClaim.claimName == name;
                                    }),
                     podVolumes.end());
    run.manifest.sharedClaims.push_back({name, owner->second});
    run.progress.Note("claim " + name + ": its snapshot is in the backup of deployment config " +
                      owner->second);
  }
  run.plan.claims = kept;
}

// The plan of the library, and every snapshot the backup may take recorded before it is
// asked for: taken no earlier than now, as the time GlusterFS puts into the names is not.
bool PlanSnapshots(BackupRun& run, const SharedClaims& shared) {
  run.progress.Begin("prepare the snapshots of " + run.dc +
                     ": claims, volumes, nodes, connections");
  const bool prepared = run.Sdk().PrepareDeploymentSnapshot(run.ns, run.dc, run.plan);
  if (prepared) SkipSharedClaims(run, shared);
  if (!run.progress.End(prepared, std::to_string(run.plan.claims.size()) + " claims")) {
    return false;
  }
  const std::string plannedAt = NowUtc(kSnapshotTimeFormat);
  for (size_t at = 0; at < run.plan.claims.size(); ++at) {
    const SClaimBackupPlan& claim = run.plan.claims[at];
    ManifestVolume entry;
    entry.record.name = claim.podVolume.persistentVolumeClaim.claimName;
    entry.record.podVolumeName = claim.podVolume.name;
    entry.record.persistentVolumeName = claim.claim.spec.volumeName;
    entry.glusterVolume = claim.volume.spec.glusterfs.path;
    entry.nodes = run.claimNodes[entry.record.name];
    entry.plannedSnapshot = RequestedSnapshot(run.manifest.snapshotName, at);
    entry.plannedAt = plannedAt;
    run.manifest.volumes.push_back(entry);
  }
  run.planned = true;
  return true;
}

// The manifest names the planned snapshots, the freeze takes them, and the manifest names
// those made before anything else is done with them. False when not all were made or the
// manifest could not say so.
bool TakeSnapshots(BackupRun& run, const BackupLock& lock) {
  bool made = false;
  const bool planned = SaveManifest(run.dir, run.manifest, run.progress);
  if (planned) PauseForTest("planned");
  if (planned && !interrupted) {
    made = SnapshotWhileQuiesced(run.context, lock, run.plan, run.manifest.snapshotName,
                                 run.progress, run.records);
  }
  RecordSnapshots(run.records, run.manifest);
  const bool written = SaveManifest(run.dir, run.manifest, run.progress);
  return made && written;
}

// Mounts the snapshots made and saves the objects; on a failure, or after an interrupt,
// deletes the snapshots that are not mounted. True when all were mounted.
bool MountSnapshots(BackupRun& run, bool made) {
  Progress& progress = run.progress;
  bool mounted = false;
  if (!made) {
    DeleteUnmounted(run.Sdk(), run.records, run.manifest, progress);
    AbandonPlan(run.Sdk(), run.plan, run.records.size());
  } else if (interrupted) {
    AbandonPlan(run.Sdk(), run.plan, run.records.size());
  } else {
    progress.Begin("activate and mount the snapshots under " + run.dir +
                   " and save the objects of " + run.dc);
    mounted = run.Sdk().MountDeploymentSnapshots(run.plan, run.dir, run.records);
    progress.End(mounted);
    RecordSnapshots(run.records, run.manifest);
    for (const SVolumeInfoLib& record : run.records) {
      if (record.snapshotState != 1) continue;
      progress.Note("claim " + record.name + ": GlusterFS snapshot " +
                    record.glusterfs.snapshotName + " mounted on " + record.glusterfs.path);
    }
    if (!mounted) DeleteUnmounted(run.Sdk(), run.records, run.manifest, progress);
  }
  if (!mounted) DropMissingSnapshots(run.Sdk(), run.manifest);
  return mounted;
}

// What the pods need, the list of files, the data copy, and the manifest's last word.
void SaveTheRest(BackupRun& run, bool mounted) {
  const Invocation& invocation = run.context.invocation;
  Manifest& manifest = run.manifest;
  if (mounted)
    SavePodNeeds(run.context.session, run.ns, run.config, run.dir, manifest, run.progress);
  manifest.files = ExportFiles(run.dir);
  const bool written = SaveManifest(run.dir, manifest, run.progress);
  if (written && mounted && invocation.copyData && !interrupted) {
    PauseForTest("copy");
    CopyData(run.dir, manifest, run.progress);
    manifest.files = ExportFiles(run.dir);
  }
  manifest.complete = mounted && run.progress.failures() == 0 && !interrupted;
  if (written) SaveManifest(run.dir, manifest, run.progress);
}

// The steps of one backup after its lock is held.
void BackupSteps(BackupRun& run, const BackupLock& lock, const SharedClaims& shared) {
  if (ReadConfigAndNodes(run) && PrepareBackupDirectory(run) && PlanSnapshots(run, shared)) {
    SaveTheRest(run, MountSnapshots(run, TakeSnapshots(run, lock)));
  }
}

}  // namespace

BackupResult BackupOne(Context& context, const SharedClaims& shared) {
  const Invocation& invocation = context.invocation;
  BackupRun run(context);
  // Until the manifest on disk names every snapshot taken, an interrupt must not end the tool.
  InterruptDeferral deferral;
  Manifest& manifest = run.manifest;
  manifest.nameSpace = run.ns;
  manifest.deploymentConfig = run.dc;
  manifest.snapshotName =
      invocation.snapshotName.empty() ? "wqosctl-" + run.dc : invocation.snapshotName;
  manifest.created = NowUtc();

  BackupResult result;
  // One backup of a deployment config at a time on this host: held to the end, and by the
  // guardian until it has run the unquiesce command.
  BackupLock lock;
  std::string error;
  if (!lock.Acquire(run.ns, run.dc, error)) {
    run.progress.Failure(error);
  } else {
    BackupSteps(run, lock, shared);
  }
  if (run.planned) {
    if (interrupted) run.progress.Failure("interrupted");
    if (!manifest.complete && !manifest.volumes.empty()) {
      run.progress.Note("release the snapshots taken with: wqosctl release --dir " + run.dir);
    }
    result.detail = std::to_string(manifest.volumes.size()) + " volumes, " +
                    std::to_string(manifest.files.size()) + " files in " + run.dir;
  }
  result.ok = manifest.complete;
  for (const ManifestVolume& volume : manifest.volumes) result.claims.push_back(volume.record.name);
  result.code = run.progress.Summary(result.detail);
  return result;
}

namespace {

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

// The snapshot and files of one claim in the plan; false when it cannot be read.
bool PlanClaim(WQOpenShiftSDKWrapper& sdk, const std::string& ns, const std::string& claimName,
               const std::string& snapshot, const std::string& dir, Plan& plan) {
  SPersistentVolumeClaimInfoLib claim;
  SPersistentVolumeInfoLib pv;
  if (!sdk.GetPersistentVolumeClaimInfo(ns, claimName, claim, 0)) {
    plan.Problem("claim " + claimName + " cannot be read");
    return false;
  }
  if (!sdk.GetPersistentVolumeInfo(claim.spec.volumeName, pv, 0) ||
      pv.spec.glusterfs.path.empty()) {
    plan.Problem("claim " + claimName + " is bound to no GlusterFS volume");
    return false;
  }
  plan.Object("claim " + claimName + ": persistent volume " + pv.metadata.name +
              ", GlusterFS volume " + pv.spec.glusterfs.path + " on " +
              Joined(VolumeNodes(sdk, ns, pv.metadata.name)) + ", " +
              ValueOf(pv.spec.capacity, "storage"));
  plan.Step("snapshot " + pv.spec.glusterfs.path + " as " + snapshot +
            "_GMT-<time>, activate it and mount it on " + dir + "/" + claimName);
  plan.File(dir + "/pvc_" + claimName, "claim");
  return true;
}

}  // namespace

int BackupPlan(Context& context, SharedClaims& shared) {
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
  if (!invocation.quiesce.empty())
    PlanCommand(context, config, invocation.quiesce, "quiesce", plan);
  size_t claimAt = 0;
  std::vector<std::string> own;
  for (const SVolumeInfoLib& volume : config.spec.templateSpec.spec.volumes) {
    if (!volume.hasPersistentVolumeClaim) continue;
    const std::string& claimName = volume.persistentVolumeClaim.claimName;
    const auto owner = shared.find(claimName);
    if (owner != shared.end()) {
      plan.Step("claim " + claimName + ": its snapshot is in the backup of deployment config " +
                owner->second);
      continue;
    }
    const size_t at = claimName.empty() ? claimAt : claimAt++;
    if (PlanClaim(sdk, ns, claimName, RequestedSnapshot(snapshot, at), dir, plan)) {
      own.push_back(claimName);
    }
  }
  for (const std::string& claim : own) shared.emplace(claim, dc);
  PlanReferences(config, dir, plan);
  PlanPodNeeds(context.session, ns, config, dir, plan);
  if (!invocation.unquiesce.empty()) {
    PlanCommand(context, config, invocation.unquiesce, "unquiesce", plan);
  }
  if (invocation.copyData) plan.Step("copy the snapshots' files to " + dir + "/data/CLAIM");
  plan.File(ManifestPath(dir), "manifest");
  return plan.Print();
}

namespace {

bool Release(Context& context, const std::string& dir, Manifest& manifest, ManifestVolume& volume,
             Progress& progress) {
  SVolumeInfoLib& record = volume.record;
  WQOpenShiftSDKWrapper& sdk = context.session.Sdk();
  // Never where the manifest's text says: a tampered one must not unmount anything else.
  record.glusterfs.path = MountPathOf(dir, volume);
  const std::string shown = record.glusterfs.snapshotName.empty()
                                ? "the snapshot planned as " + volume.plannedSnapshot
                                : "snapshot " + record.glusterfs.snapshotName;
  progress.Begin("claim " + record.name + ": unmount " + record.glusterfs.path + ", delete " +
                 shown);
  if (volume.released) return progress.End(true, "already released");
  // A snapshot of another volume is left alone, and so is its mount.
  std::string name;
  std::string error;
  const SnapshotState state = FindSnapshot(sdk, manifest.nameSpace, volume, name, error);
  if (state == SnapshotState::kElsewhere || state == SnapshotState::kUnknown) {
    return progress.End(false, error + "; nothing is deleted");
  }
  const bool wasMounted = IsMounted(record.glusterfs.path);
  if (wasMounted && !sdk.UnmountVolume(manifest.nameSpace, record)) {
    return progress.End(false, "cannot unmount; the snapshot is kept");
  }
  if (!wasMounted) progress.Note(record.glusterfs.path + " was not mounted");
  PauseForTest("release");
  if (state == SnapshotState::kMissing) {
    progress.Note(record.glusterfs.snapshotName.empty()
                      ? "no snapshot was taken"
                      : "snapshot " + record.glusterfs.snapshotName + " no longer exists");
  } else {
    record.glusterfs.snapshotName = name;
    if (!sdk.DeleteVolumeSnapshot(manifest.nameSpace, record)) {
      return progress.End(false, "cannot delete the snapshot");
    }
  }
  volume.released = true;
  if (!WriteManifest(dir, manifest, error)) return progress.End(false, error);
  return progress.End(true);
}

}  // namespace

InterruptDeferral::InterruptDeferral() : saved_(new Saved) {
  interrupted = 0;
  struct sigaction action {};
  action.sa_handler = &NoteInterrupt;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < 3; ++i) sigaction(kDeferredSignals[i], &action, &saved_->actions[i]);
}

InterruptDeferral::~InterruptDeferral() {
  for (int i = 0; i < 3; ++i) sigaction(kDeferredSignals[i], &saved_->actions[i], nullptr);
  delete saved_;
}

bool Interrupted() { return interrupted != 0; }

void PauseForTest(const char* step) {
  const char* at = std::getenv("WQOSCTL_TEST_PAUSE_AT");
  if (at == nullptr || std::strcmp(at, step) != 0) return;
  PrintErr(std::string("wqosctl: paused at ") + step + "\n");
  for (int i = 0; i < 600 && !interrupted; ++i) usleep(100000);
}

bool BackupDirectoryIsFree(const std::string& dir, std::string& error) {
  return DirectoryIsFree(dir, error);
}

int RunBackup(Context& context) {
  if (context.invocation.all) return BackupProject(context);
  SharedClaims none;
  return context.invocation.dryRun ? BackupPlan(context, none) : BackupOne(context, none).code;
}

int ReleaseOne(Context& context, const std::string& dir) {
  Manifest manifest;
  std::string error;
  if (!ReadManifest(dir, manifest, error) || !CheckPaths(dir, manifest, error)) {
    PrintErr("wqosctl: " + error + "\n");
    return kExitFailed;
  }
  const std::string& ns = context.invocation.nameSpace;
  if (!ns.empty() && ns != manifest.nameSpace) {
    PrintErr("wqosctl: the backup in " + dir + " is of namespace " + manifest.nameSpace + ", not " +
             ns + "\n");
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
  InterruptDeferral deferral;
  for (ManifestVolume& volume : manifest.volumes) {
    if (Interrupted()) break;
    if (Release(context, dir, manifest, volume, progress)) ++released;
  }
  if (Interrupted()) progress.Failure("interrupted");
  return progress.Summary(std::to_string(released) + " of " +
                          std::to_string(manifest.volumes.size()) + " snapshots released");
}

int RunRelease(Context& context) {
  const std::string dir = Absolute(context.invocation.dir);
  return IsProjectDirectory(dir) ? ReleaseProject(context) : ReleaseOne(context, dir);
}

}  // namespace wqosctl
