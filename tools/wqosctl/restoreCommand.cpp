// wqosctl restore: claims prepared from a backup's volume records, the saved files copied
// into them, then the deployment config and the objects it uses re-created.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/fileTree.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/plan.h"
#include "tools/wqosctl/podNeeds.h"
#include "tools/wqosctl/project.h"

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

// Claims prepared at a time: --parallel, else one per claim up to kDefaultParallel; never
// more than there are claims, never fewer than one.
size_t Parallelism(const Invocation& invocation, size_t claims) {
  const size_t wanted =
      invocation.parallel != 0 ? invocation.parallel : std::min<size_t>(claims, kDefaultParallel);
  return std::max<size_t>(1, std::min(wanted, claims));
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
  const bool exists = context.session.Sdk().GetPersistentVolumeClaimInfo(invocation.nameSpace,
                                                                         record.name, claim, 0);
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

int RestorePlan(Context& context, const std::string& from, const Manifest& manifest,
                const std::vector<std::string>& notes, std::vector<std::string> problems) {
  const Invocation& invocation = context.invocation;
  const std::string& dc = invocation.positional[0];
  Plan plan("restore of " + invocation.nameSpace + "/" + dc + " from " + from);
  for (const std::string& note : notes) plan.Step(note);
  if (!manifest.complete) problems.push_back("the backup did not complete");
  CheckSources(invocation, from, manifest, problems);
  for (const std::string& problem : problems) plan.Problem(problem);
  const std::string mountBase =
      invocation.mountDir.empty() ? "/tmp/wqosctl-restore.XXXXXX" : Absolute(invocation.mountDir);
  plan.Step("prepare " + std::to_string(manifest.volumes.size()) + " claims, " +
            std::to_string(Parallelism(invocation, manifest.volumes.size())) +
            " at a time, each waiting until its volume is online and its mount answers; the "
            "objects below once all are ready");
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
    plan.Object(std::string(exists ? "update" : "create") + " deployment config " + dc + " from " +
                from + "/deploymentconfig_" + configs.front() +
                (invocation.keepNames ? ", claim names as saved"
                                      : ", its volumes pointed at the claims used"));
  }
  return plan.Print();
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The lines of claims prepared on several threads: one whole line at a time, each naming its
// claim ("claim web-data: ...").
class ClaimLines {
 public:
  explicit ClaimLines(Progress& progress) : progress_(progress) {}
  void Say(const std::string& claim, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_.Note("claim " + claim + ": " + text);
  }

 private:
  std::mutex mutex_;
  Progress& progress_;
};

// One claim of the restore, and what became of it.
struct ClaimJob {
  const ManifestVolume* volume = nullptr;
  std::string used;  // the claim prepared, once there is one
  bool restored = false;
};

// Prepares one claim, fills it and unmounts it, through `sdk`; `job.used` gets the claim's name.
bool RestoreVolume(const Invocation& invocation, WQOpenShiftSDKWrapper& sdk,
                   const std::string& from, const std::string& mountBase, ClaimLines& lines,
                   ClaimJob& job) {
  const std::string& ns = invocation.nameSpace;
  const SVolumeInfoLib& record = job.volume->record;
  const std::string& name = record.name;
  const auto start = std::chrono::steady_clock::now();

  lines.Say(name, "prepare a claim of " + record.capacity +
                      (invocation.reuse ? " (reusing one big enough)" : ""));
  // Each wait timed here, on the clock: the checks themselves (a claim read that binds and
  // provisions a volume, a "gluster volume status") take time too.
  auto waitBegan = start;
  const auto observer = [&](const std::string& wait, const std::string& claim, bool done,
                            bool ready, double) {
    const double seconds = SecondsSince(waitBegan);
    const std::string what = wait == "volume" ? "the volume" : "the mount";
    const std::string of = claim == name ? std::string() : " of claim " + claim;
    const std::string condition = wait == "volume" ? " to be online" : " to answer";
    if (!done) {
      waitBegan = std::chrono::steady_clock::now();
      lines.Say(name, "waiting for " + what + of + condition);
    } else if (ready) {
      lines.Say(name, what + of + (wait == "volume" ? " is online" : " answers") + " after " +
                          Seconds(seconds));
    } else {
      lines.Say(name, "gave up waiting for " + what + of + condition + " after " +
                          Seconds(seconds) + "; carrying on");
    }
  };
  std::string used;
  if (!sdk.PrepareVolumeWhenReady(ns, name, mountBase, record, invocation.reuse, used, observer)) {
    lines.Say(name, "FAILED: cannot prepare a claim (after " + Seconds(SecondsSince(start)) + ")");
    return false;
  }
  job.used = used;
  const std::string mountDir = mountBase + "/" + used;
  lines.Say(name, "claim " + used + " mounted on " + mountDir);

  const std::string source = DataSource(invocation, from, *job.volume);
  PauseForTest("restore-copy");
  CopyStats stats;
  std::string error;
  const bool copied = !Interrupted() && CopyTree(source, mountDir, stats, error);
  if (Interrupted()) error = "interrupted";
  for (const std::string& warning : stats.warnings) lines.Say(name, warning);
  lines.Say(name, copied ? "copied " + source + ": " + CopySummary(stats)
                         : "FAILED: copy of " + source + ": " + error);

  SVolumeInfoLib mounted;
  mounted.name = used;
  mounted.glusterfs.path = mountDir;
  const bool unmounted = sdk.UnmountVolume(ns, mounted);
  if (unmounted) rmdir(mountDir.c_str());
  if (!unmounted) lines.Say(name, "FAILED: cannot unmount " + mountDir);
  const bool verified =
      copied && unmounted &&
      VerifyClaimCopy(ns, sdk, *job.volume, source, source == DataCopyOf(from, *job.volume), used,
                      mountDir, [&](const std::string& text) { lines.Say(name, text); });
  if (verified) lines.Say(name, "ready after " + Seconds(SecondsSince(start)));
  return verified;
}

// Restores the claims of `jobs`, `parallel` at a time, each worker thread on its own facade
// (the first on the command's own). No claim is started once one has failed or the command
// was interrupted; those under way finish (and unmount). True when every claim was restored.
bool RestoreVolumes(Context& context, const std::string& from, const std::string& mountBase,
                    size_t parallel, ClaimLines& lines, std::vector<ClaimJob>& jobs) {
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  const auto work = [&](WQOpenShiftSDKWrapper& sdk) {
    for (size_t i = next++; i < jobs.size() && !failed && !Interrupted(); i = next++) {
      jobs[i].restored = RestoreVolume(context.invocation, sdk, from, mountBase, lines, jobs[i]);
      if (!jobs[i].restored) failed = true;
    }
  };
  std::vector<std::thread> workers;
  for (size_t w = 1; w < parallel; ++w) {
    workers.emplace_back([&, w] {
      std::string error;
      const std::unique_ptr<Session> own = context.session.Another(error);
      if (own == nullptr) {
        lines.Say("-", "worker " + std::to_string(w) + " cannot log in: " + error);
        failed = true;
        return;
      }
      work(own->Sdk());
    });
  }
  work(context.session.Sdk());
  for (std::thread& worker : workers) worker.join();
  return !failed &&
         std::all_of(jobs.begin(), jobs.end(), [](const ClaimJob& job) { return job.restored; });
}

// The claims the backup shares with other deployment configs' backups, by the claims the
// restores of those gave them; a line in `problems` for each one not restored in a project.
std::map<std::string, std::string> SharedNames(const Manifest& manifest,
                                               const std::map<std::string, std::string>& restored,
                                               bool inProject, std::vector<std::string>& problems,
                                               std::vector<std::string>& notes) {
  std::map<std::string, std::string> names;
  for (const SharedClaim& shared : manifest.sharedClaims) {
    const auto found = restored.find(shared.claim);
    if (found != restored.end()) {
      names[shared.claim] = found->second;
      notes.push_back("claim " + shared.claim + ": the claim " + found->second +
                      " restored with deployment config " + shared.owner);
    } else if (inProject) {
      problems.push_back("claim " + shared.claim + " of deployment config " + shared.owner +
                         " was not restored");
    } else {
      notes.push_back("claim " + shared.claim + " is in the backup of deployment config " +
                      shared.owner + "; the deployment config keeps its name");
    }
  }
  return names;
}

// Reads the backup and gives the default node credentials to the nodes it and the
// namespace name; false when that fails (said on standard error).
bool LoadForRestore(Context& context, const std::string& from, Manifest& manifest) {
  std::string error;
  if (IsProjectDirectory(from)) {
    PrintErr("wqosctl: " + from + " holds the backup of a project: give --all, or --from " + from +
             "/DC for one deployment config\n");
    return false;
  }
  if (!ReadManifest(from, manifest, error) || !CheckPaths(from, manifest, error)) {
    PrintErr("wqosctl: " + error + "\n");
    return false;
  }
  std::vector<std::string> nodes =
      NamespaceNodes(context.session.Sdk(), context.invocation.nameSpace);
  for (const ManifestVolume& volume : manifest.volumes) {
    nodes.insert(nodes.end(), volume.nodes.begin(), volume.nodes.end());
  }
  if (!context.session.AddNodes(nodes, error)) {
    PrintErr("wqosctl: " + error + "\n");
    return false;
  }
  return true;
}

// The step that checks the backup before anything is made, and makes the directory the
// claims are mounted below: --mount-dir, else a new one below /tmp (`own`: removed
// afterwards). Empty on a failure. A backup that failed part way lacks volumes or
// definitions: restoring it would bring back a part of the application as if it were all.
std::string CheckBackup(const Invocation& invocation, const std::string& from,
                        const Manifest& manifest, std::vector<std::string> problems,
                        Progress& progress, bool& own) {
  progress.Begin("check the backup in " + from);
  if (!manifest.complete) problems.push_back("the backup did not complete");
  CheckSources(invocation, from, manifest, problems);
  if (!problems.empty()) {
    for (const std::string& problem : problems) progress.Note(problem);
    progress.End(false);
    return std::string();
  }
  own = invocation.mountDir.empty();
  char pattern[] = "/tmp/wqosctl-restore.XXXXXX";
  if (own && mkdtemp(pattern) == nullptr) {
    progress.End(false, "cannot create a directory below /tmp");
    return std::string();
  }
  progress.End(true, std::to_string(manifest.volumes.size()) + " volumes of " + manifest.nameSpace +
                         "/" + manifest.deploymentConfig + ", saved " + manifest.created);
  return own ? std::string(pattern) : Absolute(invocation.mountDir);
}

// Prepares and fills every claim of the backup as one step; `names` gets the claims restored
// (saved name -> claim used), `created` every claim prepared.
bool RestoreClaims(Context& context, const std::string& from, const std::string& mountBase,
                   const Manifest& manifest, Progress& progress,
                   std::map<std::string, std::string>& names, std::vector<std::string>& created) {
  // A claim being filled is unmounted before the tool ends, whatever signal comes.
  InterruptDeferral deferral;
  const size_t parallel = Parallelism(context.invocation, manifest.volumes.size());
  std::vector<ClaimJob> jobs(manifest.volumes.size());
  for (size_t i = 0; i < jobs.size(); ++i) jobs[i].volume = &manifest.volumes[i];
  const auto start = std::chrono::steady_clock::now();
  progress.Begin("prepare " + std::to_string(jobs.size()) + " claims, " + std::to_string(parallel) +
                 " at a time");
  ClaimLines lines(progress);
  const bool ok = RestoreVolumes(context, from, mountBase, parallel, lines, jobs) && !Interrupted();
  for (const ClaimJob& job : jobs) {
    if (!job.used.empty()) created.push_back(job.volume->record.name + "->" + job.used);
    if (job.restored) names[job.volume->record.name] = job.used;
  }
  return progress.End(ok, ok ? "all claims ready after " + Seconds(SecondsSince(start))
                             : std::string(Interrupted() ? "interrupted" : ""));
}

}  // namespace

int RestoreOne(Context& context, std::map<std::string, std::string>& restored, bool inProject) {
  const Invocation& invocation = context.invocation;
  const std::string& ns = invocation.nameSpace;
  const std::string& dc = invocation.positional[0];
  const std::string from = Absolute(invocation.from);
  Manifest manifest;
  if (!LoadForRestore(context, from, manifest)) return kExitFailed;
  std::vector<std::string> problems;
  std::vector<std::string> notes;
  std::map<std::string, std::string> names =
      SharedNames(manifest, restored, inProject, problems, notes);
  if (invocation.dryRun) {
    // The claims a project's later restores would find, by their saved names.
    for (const ManifestVolume& volume : manifest.volumes) {
      restored.emplace(volume.record.name, volume.record.name);
    }
    return RestorePlan(context, from, manifest, notes, problems);
  }

  Progress progress("restore of " + ns + "/" + dc + " from " + from);
  for (const std::string& note : notes) progress.Note(note);
  bool ownMountBase = false;
  const std::string mountBase =
      CheckBackup(invocation, from, manifest, problems, progress, ownMountBase);
  if (mountBase.empty()) return progress.Summary();
  std::vector<std::string> created;
  const bool volumesOk =
      RestoreClaims(context, from, mountBase, manifest, progress, restored, created);
  for (const ManifestVolume& volume : manifest.volumes) {
    if (restored.count(volume.record.name) != 0)
      names[volume.record.name] = restored[volume.record.name];
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
  progress.End(context.session.Sdk().RestoreDeployment(ns, dc, from, invocation.keepNames, names));
  std::vector<std::string> shown;
  for (const auto& entry : names) shown.push_back(entry.first + "->" + entry.second);
  return progress.Summary("claims " + Joined(shown));
}

int RunRestore(Context& context) {
  if (context.invocation.all) return RestoreProject(context);
  std::map<std::string, std::string> restored;
  return RestoreOne(context, restored, false);
}

}  // namespace wqosctl
