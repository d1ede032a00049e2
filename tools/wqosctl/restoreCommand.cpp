// wqosctl restore: claims prepared from a backup's volume records, the saved files copied
// into them, then the deployment config and the objects it uses re-created.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/fileTree.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/plan.h"
#include "tools/wqosctl/podNeeds.h"

namespace wqosctl {

using namespace OpenShiftSDKWrapper;
namespace fs = std::filesystem;

namespace {

// Where the saved files of a volume are: --data DATADIR/CLAIM, else the backup's copy,
// else the backup's mount directory of the snapshot.
std::string DataSource(const Invocation& invocation, const std::string& from,
                       const ManifestVolume& volume) {
  if (!invocation.data.empty()) return Absolute(invocation.data) + "/" + volume.record.name;
  if (!volume.dataCopy.empty()) return DataCopyOf(from, volume);
  return MountPathOf(from, volume);
}

// The object definitions the restore reads: each one the manifest names, and every file of
// the directory that the restore would read by its prefix, must be a regular file.
void CheckObjectFiles(const std::string& from, const Manifest& manifest,
                      std::vector<std::string>& problems) {
  std::vector<std::string> names = manifest.files;
  std::vector<std::string> entries;
  std::string ignored;
  DirectoryNames(from, entries, ignored);
  for (const std::string& name : entries) {
    for (const char* prefix : {"deploymentconfig_", "pvc_", "secret_", "configmap_"}) {
      if (name.compare(0, std::string(prefix).size(), prefix) == 0) names.push_back(name);
    }
  }
  for (const std::string& name : names) {
    struct stat info {};
    if (lstat((from + "/" + name).c_str(), &info) != 0) {
      problems.push_back(from + "/" + name + " is missing");
    } else if (!S_ISREG(info.st_mode)) {
      problems.push_back(from + "/" + name + " is not a regular file");
    }
  }
}

// Appends a line for every volume whose saved files are not there.
void CheckSources(const Invocation& invocation, const std::string& from, const Manifest& manifest,
                  std::vector<std::string>& problems) {
  CheckObjectFiles(from, manifest, problems);
  for (const ManifestVolume& volume : manifest.volumes) {
    const std::string source = DataSource(invocation, from, volume);
    std::error_code code;
    if (!fs::is_directory(source, code)) {
      problems.push_back("claim " + volume.record.name + ": no saved files in " + source);
    } else if (invocation.data.empty() && volume.dataCopy.empty() && fs::is_empty(source, code)) {
      problems.push_back("claim " + volume.record.name + ": " + source +
                         " is empty (its snapshot was released and the backup kept no copy); "
                         "give --data DATADIR");
    }
  }
}

std::vector<std::string> SavedObjects(const std::string& from, const char* prefix) {
  std::vector<std::string> entries;
  std::vector<std::string> names;
  std::string ignored;
  DirectoryNames(from, entries, ignored);
  const size_t length = std::string(prefix).size();
  for (const std::string& name : entries) {
    if (name.compare(0, length, prefix) == 0) names.push_back(name.substr(length));
  }
  return names;
}

void PlanVolume(Context& context, const std::string& from, const std::string& mountBase,
                const ManifestVolume& volume, Plan& plan) {
  const Invocation& invocation = context.invocation;
  const SVolumeInfoLib& record = volume.record;
  const std::string source = DataSource(invocation, from, volume);
  std::vector<FileEntry> files;
  std::string error;
  uint64_t bytes = 0;
  if (ListTree(source, false, files, error)) {
    for (const FileEntry& file : files) bytes += file.size;
  }
  SPersistentVolumeClaimInfoLib claim;
  const bool exists =
      context.session.Sdk().GetPersistentVolumeClaimInfo(invocation.nameSpace, record.name, claim, 0);
  const uint64_t expected = WQOpenShiftSDKWrapper::ConvertCapacityToBytes(record.capacity);
  const uint64_t current =
      WQOpenShiftSDKWrapper::ConvertCapacityToBytes(ValueOf(claim.status.capacity, "storage"));
  std::string used = record.name;
  if (!exists) {
    plan.Step("create claim " + record.name + " (" + record.capacity + ", storage class " +
              record.storageClassName + ", " + Joined(record.accessModes) + ")");
  } else if (invocation.reuse && current >= expected) {
    plan.Step("reuse claim " + record.name + " (capacity " +
              ValueOf(claim.status.capacity, "storage") + " >= " + record.capacity +
              "); its files are removed");
  } else if (invocation.reuse) {
    plan.Step("delete claim " + record.name + " (capacity " +
              ValueOf(claim.status.capacity, "storage") + " < " + record.capacity +
              ") and create it anew");
  } else {
    used = record.name + "-<random number>";
    plan.Step("claim " + record.name + " exists: create claim " + used + " (" + record.capacity +
              ", storage class " + record.storageClassName + ")");
  }
  plan.Step("mount " + used + " on " + mountBase + "/" + used + ", copy " +
            std::to_string(files.size()) + " entries (" + std::to_string(bytes) + " bytes) from " +
            source + " keeping owners, modes and times, unmount it");
  if (!error.empty()) plan.Problem(error);
}

int RestorePlan(Context& context, const std::string& from, const Manifest& manifest) {
  const Invocation& invocation = context.invocation;
  const std::string& dc = invocation.positional[0];
  Plan plan("restore of " + invocation.nameSpace + "/" + dc + " from " + from);
  std::vector<std::string> problems;
  if (!manifest.complete) problems.push_back("the backup did not complete");
  CheckSources(invocation, from, manifest, problems);
  for (const std::string& problem : problems) plan.Problem(problem);
  const std::string mountBase =
      invocation.mountDir.empty() ? "/tmp/wqosctl-restore.XXXXXX" : Absolute(invocation.mountDir);
  for (const ManifestVolume& volume : manifest.volumes) {
    PlanVolume(context, from, mountBase, volume, plan);
  }
  for (const std::string& name : SavedObjects(from, "secret_")) {
    plan.Object("create or update secret " + name + " from " + from + "/secret_" + name);
  }
  for (const std::string& name : SavedObjects(from, "configmap_")) {
    plan.Object("create or update config map " + name + " from " + from + "/configmap_" + name);
  }
  PlanServiceAccount(context.session, invocation.nameSpace, manifest, plan);
  const std::vector<std::string> configs = SavedObjects(from, "deploymentconfig_");
  if (configs.empty()) {
    plan.Problem(from + " holds no deploymentconfig_ file");
  } else {
    SDeploymentConfigInfoLib current;
    const bool exists =
        context.session.Sdk().GetDeploymentConfigInfo(invocation.nameSpace, dc, current, 0);
    plan.Object(std::string(exists ? "update" : "create") + " deployment config " + dc +
                " from " + from + "/deploymentconfig_" + configs.front() +
                (invocation.keepNames ? ", claim names as saved"
                                      : ", its volumes pointed at the claims used"));
  }
  return plan.Print();
}

// Prepares one claim, fills it and unmounts it; `used` gets the claim's name.
bool RestoreVolume(Context& context, const std::string& from, const std::string& mountBase,
                   const ManifestVolume& volume, Progress& progress, std::string& used) {
  const Invocation& invocation = context.invocation;
  const std::string& ns = invocation.nameSpace;
  WQOpenShiftSDKWrapper& sdk = context.session.Sdk();
  const SVolumeInfoLib& record = volume.record;

  progress.Begin("claim " + record.name + ": prepare a claim of " + record.capacity +
                 (invocation.reuse ? " (reusing one big enough)" : ""));
  if (!sdk.PrepareVolume(ns, record.name, mountBase, record, invocation.reuse, used)) {
    return progress.End(false);
  }
  const std::string mountDir = mountBase + "/" + used;
  progress.End(true, "claim " + used + " mounted on " + mountDir);

  const std::string source = DataSource(invocation, from, volume);
  PauseForTest("restore-copy");
  progress.Begin("copy " + source + " into claim " + used);
  CopyStats stats;
  std::string error;
  const bool copied = !Interrupted() && CopyTree(source, mountDir, stats, error);
  if (Interrupted()) error = "interrupted";
  for (const std::string& warning : stats.warnings) progress.Note(warning);
  progress.End(copied, copied ? CopySummary(stats) : error);

  progress.Begin("unmount " + mountDir);
  SVolumeInfoLib mounted;
  mounted.name = used;
  mounted.glusterfs.path = mountDir;
  const bool unmounted = sdk.UnmountVolume(ns, mounted);
  if (unmounted) rmdir(mountDir.c_str());
  progress.End(unmounted);
  return copied && unmounted &&
         VerifyClaimCopy(context, volume, source, source == DataCopyOf(from, volume), used,
                         mountDir, progress);
}

}  // namespace

int RunRestore(Context& context) {
  const Invocation& invocation = context.invocation;
  const std::string& ns = invocation.nameSpace;
  const std::string& dc = invocation.positional[0];
  const std::string from = Absolute(invocation.from);
  Manifest manifest;
  std::string error;
  if (!ReadManifest(from, manifest, error) || !CheckPaths(from, manifest, error)) {
    PrintErr("wqosctl: " + error + "\n");
    return kExitFailed;
  }
  std::vector<std::string> nodes = NamespaceNodes(context.session.Sdk(), ns);
  for (const ManifestVolume& volume : manifest.volumes) {
    nodes.insert(nodes.end(), volume.nodes.begin(), volume.nodes.end());
  }
  if (!context.session.AddNodes(nodes, error)) {
    PrintErr("wqosctl: " + error + "\n");
    return kExitFailed;
  }
  if (invocation.dryRun) return RestorePlan(context, from, manifest);

  Progress progress("restore of " + ns + "/" + dc + " from " + from);
  progress.Begin("check the backup in " + from);
  // A backup that failed part way lacks volumes or definitions: restoring it would bring
  // back a part of the application as if it were all.
  std::vector<std::string> problems;
  if (!manifest.complete) problems.push_back("the backup did not complete");
  CheckSources(invocation, from, manifest, problems);
  if (!problems.empty()) {
    for (const std::string& problem : problems) progress.Note(problem);
    progress.End(false);
    return progress.Summary();
  }
  std::string mountBase = Absolute(invocation.mountDir);
  bool ownMountBase = false;
  if (invocation.mountDir.empty()) {
    char pattern[] = "/tmp/wqosctl-restore.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      progress.End(false, "cannot create a directory below /tmp");
      return progress.Summary();
    }
    mountBase = pattern;
    ownMountBase = true;
  }
  progress.End(true, std::to_string(manifest.volumes.size()) + " volumes of " +
                         manifest.nameSpace + "/" + manifest.deploymentConfig + ", saved " +
                         manifest.created);

  std::map<std::string, std::string> names;
  std::vector<std::string> created;
  bool volumesOk = true;
  {
    // A claim being filled is unmounted before the tool ends, whatever signal comes.
    InterruptDeferral deferral;
    for (const ManifestVolume& volume : manifest.volumes) {
      std::string used;
      const bool restored = RestoreVolume(context, from, mountBase, volume, progress, used);
      if (!used.empty()) created.push_back(volume.record.name + "->" + used);
      if (!restored || Interrupted()) {
        volumesOk = false;
        break;
      }
      names[volume.record.name] = used;
    }
    if (Interrupted()) progress.Failure("interrupted");
  }
  if (ownMountBase && rmdir(mountBase.c_str()) != 0) {
    progress.Note("a claim is still mounted below " + mountBase);
  }
  if (!volumesOk) {
    return progress.Summary("the deployment config was not restored; claims prepared: " +
                            Joined(created));
  }

  if (!RestoreServiceAccount(context.session, ns, manifest, progress)) {
    return progress.Summary("the deployment config was not restored");
  }
  progress.Begin("restore the secrets, config maps and deployment config " + dc);
  const bool restored =
      context.session.Sdk().RestoreDeployment(ns, dc, from, invocation.keepNames, names);
  progress.End(restored);
  std::vector<std::string> shown;
  for (const auto& entry : names) shown.push_back(entry.first + "->" + entry.second);
  return progress.Summary("claims " + Joined(shown));
}

}  // namespace wqosctl
