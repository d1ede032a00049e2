// Restore side of the facade: claims prepared (reused, replaced or newly named), mounted and
// emptied for the saved data, and the saved secrets, config maps and deployment config put
// back from the files of a backup directory.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "host/luFile.h"
#include "host/luSleep.h"
#include "operations/openshiftOperations.h"
#include "queries/glusterOutput.h"
#include "wrapper/logContexts.h"
#include "wrapper/openshiftWrapper.h"
#include "wrapper/readiness.h"
#include "wrapper/workflowSupport.h"

namespace OpenShiftSDKWrapper {

namespace {

const char* const kDeploymentConfigPrefix = "deploymentconfig_";

// The fixed waits of PrepareVolume, and the limits of the waits that replace them.
const unsigned long kVolumeSettleMs = 120000;
const unsigned long kMountSettleMs = 60000;

// Claims named "<base>-<number>" drawn before giving up: every draw that is taken costs one
// read, and a cluster that answers every read with a claim must not keep the caller forever.
const int kMaxGeneratedNames = 100;

// Only regular files (or links to them) can be saved definitions. Anything else that matches
// a prefix is passed over: reading a FIFO would block the restore for good, and a directory
// or device holds no definition.
bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The saved objects of one kind: their file prefix and how each is put back.
struct SavedKind {
  const char* prefix;
  const char* context;
  const char* entryErrorContext;  // context of the "Error Getting Entry" line
  const char* what;               // "secret" or "config map", for the lines added here
  bool (WQOpenShiftSDKWrapper::*restore)(const std::string&, const std::string&,
                                         const std::string&);
  const char* restoreFailed;
};

// Lists `directory` for the entries named `prefix` followed by anything and calls `visit`
// with each regular file's entry name and path, in name order, until it returns false.
// Logs under `context`; false when the listing fails or `visit` does.
template <typename Visit>
bool VisitSavedFiles(const DebugLog& log, const char* context, const char* entryErrorContext,
                     const std::string& directory, const std::string& prefix, Visit visit) {
  CLuDirectory listing;
  CLuError error = listing.Open(directory, prefix + "*", true);
  if (error.IsError()) {
    log.Error(context, "Error Accessing Path[%s], Error = [%s]", directory.c_str(),
              error.AsString().c_str());
    return false;
  }
  SLuDirEntry entry;
  bool done = false;
  error = listing.GetEntry(&entry, &done);
  if (error.IsError()) {
    log.Error(context, "Error Getting First Entry at [%s], Error = [%s]", directory.c_str(),
              error.AsString().c_str());
    return false;
  }
  while (!done) {
    const std::string path = CLuPath::Append(directory, entry.name);
    if (!IsRegularFile(path)) {
      log.Error(context, "Skipping [%s]: not a regular file", path.c_str());
    } else if (!visit(entry.name.str(), path)) {
      return false;
    }
    error = listing.GetEntry(&entry, &done);
    if (error.IsError()) {
      log.Error(entryErrorContext, "Error Getting Entry at [%s], Error = [%s]", directory.c_str(),
                error.AsString().c_str());
      return false;
    }
  }
  return true;
}

bool ReadSavedFile(const DebugLog& log, const char* context, const std::string& path,
                   std::string& text) {
  const CLuError error = CLuFile::ReadWholeFile(path, &text);
  if (error.IsError()) {
    log.Error(context, "Error reading content of file %s, Error = [%s]", path.c_str(),
              error.AsString().c_str());
    return false;
  }
  return true;
}

bool RestoreSavedObjects(WQOpenShiftSDKWrapper& facade, const SavedKind& kind,
                         const std::string& nameSpace, const std::string& directory) {
  const std::string prefix = kind.prefix;
  return VisitSavedFiles(
      facade, kind.context, kind.entryErrorContext, directory, prefix,
      [&](const std::string& entryName, const std::string& path) {
        std::string text;
        if (!ReadSavedFile(facade, kind.context, path, text)) return false;
        const std::string name = CLuString(entryName).SubStr(prefix.size()).str();
        // The name goes into the request paths: an empty name would address the whole
        // collection, and ".." another resource altogether.
        if (!IsObjectName(name)) {
          facade.Error(kind.context, "Invalid %s name [%s] in file name [%s]", kind.what,
                       name.c_str(), path.c_str());
          return false;
        }
        if (!(facade.*kind.restore)(nameSpace, name, text)) {
          facade.Error(kind.context, kind.restoreFailed, name.c_str(), nameSpace.c_str());
          return false;
        }
        return true;
      });
}

const SavedKind kSecrets = {"secret_",
                            WrapperContexts::kRestoreSecrets,
                            WrapperContexts::kRestoreSecrets,
                            "secret",
                            &WQOpenShiftSDKWrapper::CreateOrUpdateSecret,
                            "Failed to create/update secret [%s] in [%s]"};
const SavedKind kConfigMaps = {"configmap_",
                               WrapperContexts::kRestoreConfigMaps,
                               "RestoreConfigMaps",
                               "config map",
                               &WQOpenShiftSDKWrapper::CreateOrUpdateConfigMap,
                               "Failed to create/update config map [%s] in [%s]"};

// The file of the saved deployment config to restore as `dcName`. A backup directory may
// hold the exports of several deployment configs: the one saved under the requested name is
// taken, else the only one there is (restored under a new name). Several others, none of
// that name, cannot be told apart.
bool FindSavedDeploymentConfig(const DebugLog& log, const std::string& dcName,
                               const std::string& restoreDir, std::string& chosen) {
  const std::string prefix = kDeploymentConfigPrefix;
  const std::string ownEntry = prefix + dcName;
  std::vector<std::string> files;
  if (!VisitSavedFiles(log, WrapperContexts::kRestoreDeployment,
                       WrapperContexts::kRestoreDeployment, restoreDir, prefix,
                       [&](const std::string& entryName, const std::string& path) {
                         files.push_back(path);
                         if (entryName == ownEntry) chosen = path;
                         return true;
                       })) {
    return false;
  }
  if (files.empty()) {
    log.Error(WrapperContexts::kRestoreDeployment,
              "Deployment Config file prefix [%s] not found at [%s]", prefix.c_str(),
              restoreDir.c_str());
    return false;
  }
  if (chosen.empty() && files.size() > 1) {
    log.Error(
        WrapperContexts::kRestoreDeployment,
        "Deployment Config file [%s] not found at [%s], and [%zu] other files have the prefix",
        ownEntry.c_str(), restoreDir.c_str(), files.size());
    return false;
  }
  if (chosen.empty()) chosen = files.front();
  return true;
}

// The claims of the pod template under the names they were restored as.
void RenameClaims(SDeploymentConfigInfoLib& dc,
                  const std::map<std::string, std::string>& claimNames) {
  for (SVolumeInfoLib& volume : dc.spec.templateSpec.spec.volumes) {
    std::string& claimName = volume.persistentVolumeClaim.claimName;
    if (claimName.empty()) continue;
    const auto mapped = claimNames.find(claimName);
    if (mapped != claimNames.end()) claimName = mapped->second;
  }
}

// Creates the deployment config, or updates the one of that name; `text` is the saved
// definition, for the log.
bool PutDeploymentConfig(WQOpenShiftSDKWrapper& facade, const std::string& nameSpace,
                         const std::string& dcName, SDeploymentConfigInfoLib& dc,
                         const std::string& text) {
  SDeploymentConfigInfoLib current;
  if (!facade.GetDeploymentConfigInfo(nameSpace, dcName, current, 0)) {
    if (!facade.CreateDeploymentConfig(nameSpace, dc)) {
      facade.Error(WrapperContexts::kRestoreDeployment,
                   "Failed to create DeploymentConfig %s/%s with %s", nameSpace.c_str(),
                   dcName.c_str(), text.c_str());
      return false;
    }
  } else if (!facade.UpdateDeploymentConfig(nameSpace, dcName, dc, current)) {
    facade.Error(WrapperContexts::kRestoreDeployment,
                 "Failed to update DeploymentConfig %s/%s with %s", nameSpace.c_str(),
                 dcName.c_str(), text.c_str());
    return false;
  }
  return true;
}

// The value of the first "storage" entry of a capacity or request map; empty when none.
std::string StorageOf(const SObjectInfoLib& quantities) {
  for (const SKeyValueInfoLib& entry : quantities.keyValues) {
    if (entry.key == "storage") return entry.value;
  }
  return std::string();
}

void LogWait(const DebugLog& log, const char* context, const std::string& what,
             const ReadinessWait& wait) {
  const double seconds = static_cast<double>(wait.waitedMs) / 1000.0;
  if (wait.ready) {
    log.Debug(context, "%s ready after %.1f seconds (%d checks)", what.c_str(), seconds,
              wait.checks);
  } else {
    log.Error(context, "%s not ready after %.1f seconds (%d checks); carrying on", what.c_str(),
              seconds, wait.checks);
  }
}

// One preparation of a claim for restored data: the saved claim reused, replaced or put
// under a newly drawn name, created when needed, mounted below the mount base and emptied.
class VolumePreparation {
 public:
  VolumePreparation(WQOpenShiftSDKWrapper& facade, WQOpenShiftOperations& operations,
                    const char* context, const std::string& nameSpace, const std::string& nameBase,
                    const SVolumeInfoLib& saved)
      : facade_(facade),
        operations_(operations),
        context_(context),
        nameSpace_(nameSpace),
        nameBase_(nameBase),
        saved_(saved),
        claimName_(saved.name) {}

  // Whether the readiness checks replace the fixed waits, who is told of each wait, and the
  // check that a claim's volume is ready.
  bool waitForReadiness = false;
  const WQOpenShiftSDKWrapper::ReadinessObserver* observer = nullptr;
  std::function<bool(const std::string& claimName)> volumeReady;

  // Reads the claim of the saved name: kept when `reuse` and it is large enough, else
  // deleted (with `reuse`) or left alone, and a free name drawn for the new claim.
  bool ChooseClaim(bool reuse) {
    // The claim name becomes a directory below the mount base whose contents are removed: a
    // name such as "../x" must never get that far.
    if (!NameIsValid()) return false;
    if (!ReadClaim(claimName_)) return true;
    if (reuse && !KeepOrDeleteExisting()) return false;
    return !create_ || DrawFreeName();
  }

  bool MustCreate() const { return create_; }

  // Creates the claim, waits for its volume and reads it back (for the volume's name).
  bool CreateClaim() {
    claim_.metadata.name = claimName_;
    claim_.spec.accessModes = saved_.accessModes;
    claim_.spec.selector.matchLabels = saved_.matchLabels;
    claim_.spec.storageClassName = saved_.storageClassName;
    // Written after any request the record already holds, so this one wins.
    claim_.spec.resources.requests.keyValues.emplace_back("storage", saved_.capacity);
    facade_.Debug(context_, "Creating Persistent Volume Claim [%s/%s] storageclass [%s]",
                  nameSpace_.c_str(), claimName_.c_str(), saved_.storageClassName.c_str());
    if (!facade_.CreatePersistentVolumeClaim(nameSpace_, claim_)) {
      facade_.Error(context_, "Failed to create persistent volume claim [%s/%s]",
                    nameSpace_.c_str(), claimName_.c_str());
      return false;
    }
    WaitForVolume();
    if (!ReadClaim(claimName_)) {
      facade_.Error(context_, "Faile to get Persistent Volume Claim [%s/%s]", nameSpace_.c_str(),
                    claimName_.c_str());
      return false;
    }
    return true;
  }

  // Mounts the claim's volume at "<mountBase>/<claim>", waits for the mount and empties it.
  bool MountAndClean(const std::string& mountBase) {
    const std::string mountDir = CLuPath::Append(mountBase, claimName_);
    const std::string& volumeName = claim_.spec.volumeName;
    const CLuError made = CLuDirectory::Create(mountDir, true);
    if (made.IsError()) {
      facade_.Error(context_, "Failed to create directory [%s] to mount volume, err [%s]",
                    mountBase.c_str(), made.AsString().c_str());
      return false;
    }
    if (!operations_.MountPersistentVolume(nameSpace_, volumeName, mountDir)) {
      facade_.Error(context_, "Failed to mount persistent volume [%s] project [%s]",
                    volumeName.c_str(), nameSpace_.c_str());
      return false;
    }
    WaitForMount(mountDir);
    if (!operations_.CleanPersistentVolume(mountDir)) {
      facade_.Error(context_, "Failed to clean persistent volume [%s] project [%s]",
                    volumeName.c_str(), nameSpace_.c_str());
      return false;
    }
    return true;
  }

  const std::string& ClaimName() const { return claimName_; }

 private:
  bool NameIsValid() const {
    if (IsObjectName(claimName_)) return true;
    facade_.Error(context_, "Invalid Persistent Volume Claim name [%s/%s]", nameSpace_.c_str(),
                  claimName_.c_str());
    return false;
  }

  // Each read goes to a fresh record, which then replaces the claim record: a reader appends
  // to lists, so reading into the same record twice would double selector expressions.
  bool ReadClaim(const std::string& name) {
    SPersistentVolumeClaimInfoLib read;
    if (!facade_.GetPersistentVolumeClaimInfo(nameSpace_, name, read, 0)) return false;
    claim_ = read;
    return true;
  }

  // The existing claim is kept when it holds at least the saved capacity, else deleted.
  bool KeepOrDeleteExisting() {
    const uint64_t expected = WQOpenShiftSDKWrapper::ConvertCapacityToBytes(saved_.capacity);
    const uint64_t current =
        WQOpenShiftSDKWrapper::ConvertCapacityToBytes(StorageOf(claim_.status.capacity));
    if (current >= expected) {
      create_ = false;
      facade_.Error(context_, "Using existing Persistent Volume Claim [%s/%s]", nameSpace_.c_str(),
                    claimName_.c_str());
      return true;
    }
    facade_.Error(context_,
                  "Deleting Persistent Volume Claim [%s/%s], current capacity [%lu] is less than "
                  "expected capacity [%lu]",
                  nameSpace_.c_str(), claimName_.c_str(), current, expected);
    SDeleteOptionsInfoLib options;
    if (!facade_.DeletePersistentVolumeClaim(nameSpace_, claimName_, options)) {
      facade_.Error(context_, "Failed to delete Persistent Volume Claim [%s/%s]",
                    nameSpace_.c_str(), claimName_.c_str());
      return false;
    }
    return true;
  }

  // A claim of that name still there (kept, or still being deleted) gets a new name.
  bool DrawFreeName() {
    for (int draws = 0; ReadClaim(claimName_); ++draws) {
      facade_.DebugLvl(context_, 2, "PVC [%s/%s] exists", nameSpace_.c_str(), claimName_.c_str());
      if (draws == kMaxGeneratedNames) {
        facade_.Error(context_,
                      "Failed to find a free Persistent Volume Claim name [%s-<n>] in [%s]",
                      nameBase_.c_str(), nameSpace_.c_str());
        return false;
      }
      claimName_ = nameBase_ + "-" + std::to_string(std::rand());
      if (!NameIsValid()) return false;
    }
    return true;
  }

  void WaitForVolume() {
    if (!waitForReadiness) {
      facade_.Debug(context_, "Wait for 120 seconds for gluster volume to become stable...");
      LUSLEEP(kVolumeSettleMs, "openshiftWrapper", __LINE__);
      return;
    }
    facade_.Debug(context_,
                  "Waiting up to 120 seconds for gluster volume of [%s/%s] to be ready...",
                  nameSpace_.c_str(), claimName_.c_str());
    WaitUntil("volume", kVolumeSettleMs,
              "Gluster volume of [" + nameSpace_ + "/" + claimName_ + "]",
              [&] { return volumeReady(claimName_); });
  }

  void WaitForMount(const std::string& mountDir) {
    if (!waitForReadiness) {
      facade_.Debug(context_,
                    "Wait for 60 seconds for gluster volume mount point to become stable...");
      LUSLEEP(kMountSettleMs, "openshiftWrapper", __LINE__);
      return;
    }
    facade_.Debug(context_, "Waiting up to 60 seconds for the mount [%s] to answer...",
                  mountDir.c_str());
    WaitUntil("mount", kMountSettleMs, "Mount [" + mountDir + "]",
              [&] { return GlusterMountAnswers(mountDir); });
  }

  // One readiness wait: told to the observer as it starts and ends, and logged.
  void WaitUntil(const char* wait, unsigned long limitMs, const std::string& what,
                 const std::function<bool()>& ready) {
    Tell(wait, false, ReadinessWait());
    const ReadinessWait result = WaitUntilReady(limitMs, "openshiftWrapper", ready);
    LogWait(facade_, context_, what, result);
    Tell(wait, true, result);
  }

  void Tell(const char* wait, bool done, const ReadinessWait& result) const {
    if (observer == nullptr) return;
    (*observer)(wait, claimName_, done, result.ready,
                static_cast<double>(result.waitedMs) / 1000.0);
  }

  WQOpenShiftSDKWrapper& facade_;
  WQOpenShiftOperations& operations_;
  const char* const context_;
  const std::string& nameSpace_;
  const std::string& nameBase_;
  const SVolumeInfoLib& saved_;
  std::string claimName_;
  SPersistentVolumeClaimInfoLib claim_;
  bool create_ = true;
};

}  // namespace

bool WQOpenShiftSDKWrapper::PrepareVolume(const std::string& nameSpace, const std::string& nameBase,
                                          const std::string& mountBase, const SVolumeInfoLib& saved,
                                          bool reuse, std::string& claimUsed) {
  return PrepareVolumeSteps(WrapperContexts::kPrepareVolume, nameSpace, nameBase, mountBase, saved,
                            reuse, claimUsed, false);
}

bool WQOpenShiftSDKWrapper::PrepareVolumeWhenReady(const std::string& nameSpace,
                                                   const std::string& nameBase,
                                                   const std::string& mountBase,
                                                   const SVolumeInfoLib& saved, bool reuse,
                                                   std::string& claimUsed) {
  return PrepareVolumeWhenReady(nameSpace, nameBase, mountBase, saved, reuse, claimUsed,
                                ReadinessObserver());
}

bool WQOpenShiftSDKWrapper::PrepareVolumeWhenReady(const std::string& nameSpace,
                                                   const std::string& nameBase,
                                                   const std::string& mountBase,
                                                   const SVolumeInfoLib& saved, bool reuse,
                                                   std::string& claimUsed,
                                                   const ReadinessObserver& observer) {
  // The readiness checks ask the nodes every second: over one kept connection per node,
  // unless the caller has chosen its own reuse already, then closed again.
  struct KeptForTheCall {
    WQOpenShiftConnection& connection;
    const bool turnedOn;
    explicit KeptForTheCall(WQOpenShiftConnection& c)
        : connection(c), turnedOn(c.sshIdleSeconds() <= 0) {
      if (turnedOn) connection.setSshIdleSeconds(WQOpenShiftConnection::kKeptSessionIdleSeconds);
    }
    ~KeptForTheCall() {
      if (!turnedOn) return;
      connection.setSshIdleSeconds(0);
      connection.closeNodeSessions();
    }
  } kept(*connection);
  return PrepareVolumeSteps(WrapperContexts::kPrepareVolumeWhenReady, nameSpace, nameBase,
                            mountBase, saved, reuse, claimUsed, true,
                            observer ? &observer : nullptr);
}

void WQOpenShiftSDKWrapper::SetNodeConnectionReuse(long idleSeconds) {
  connection->setSshIdleSeconds(idleSeconds);
}

void WQOpenShiftSDKWrapper::CloseNodeConnections() { connection->closeNodeSessions(); }

bool WQOpenShiftSDKWrapper::ClaimVolumeIsReady(const char* context, const std::string& nameSpace,
                                               const std::string& claimName) {
  SPersistentVolumeClaimInfoLib claim;
  if (!GetPersistentVolumeClaimInfo(nameSpace, claimName, claim, 0)) return false;
  if (claim.status.phase != "Bound" || claim.spec.volumeName.empty()) return false;
  SPersistentVolumeInfoLib volume;
  if (!GetPersistentVolumeInfo(claim.spec.volumeName, volume, 0)) return false;
  const std::string& glusterVolume = volume.spec.glusterfs.path;
  SEndpointsInfoLib endpoints;
  if (volume.spec.glusterfs.endpoints.empty() ||
      !GetEndpointsInfo(nameSpace, volume.spec.glusterfs.endpoints, endpoints, 0)) {
    return false;
  }
  for (const SEndpointSubsetInfoLib& subset : endpoints.subsets) {
    for (const SEndpointAddressInfoLib& address : subset.addresses) {
      if (!GlusterArgumentsAreSafe(*this, context,
                                   {{"node", address.ip, GlusterWord::Address},
                                    {"volume", glusterVolume, GlusterWord::Name}})) {
        return false;
      }
      std::string out;
      if (queries->RunGlusterCommand(context, address.ip, " gluster volume status " + glusterVolume,
                                     out)) {
        return AllBricksOnline(out);
      }
    }
  }
  return false;
}

bool WQOpenShiftSDKWrapper::PrepareVolumeSteps(const char* context, const std::string& nameSpace,
                                               const std::string& nameBase,
                                               const std::string& mountBase,
                                               const SVolumeInfoLib& saved, bool reuse,
                                               std::string& claimUsed, bool waitForReadiness,
                                               const ReadinessObserver* observer) {
  VolumePreparation run(*this, *operations, context, nameSpace, nameBase, saved);
  run.waitForReadiness = waitForReadiness;
  run.observer = observer;
  run.volumeReady = [&](const std::string& claimName) {
    return ClaimVolumeIsReady(context, nameSpace, claimName);
  };
  if (!run.ChooseClaim(reuse)) return false;
  if (run.MustCreate() && !run.CreateClaim()) return false;
  if (!run.MountAndClean(mountBase)) return false;
  claimUsed = run.ClaimName();
  return true;
}

bool WQOpenShiftSDKWrapper::RestoreDeployment(
    const std::string& nameSpace, const std::string& dcName, const std::string& restoreDir,
    bool keepNames, const std::map<std::string, std::string>& claimNames) {
  if (!RestoreSecrets(nameSpace, restoreDir)) return false;
  if (!RestoreConfigMaps(nameSpace, restoreDir)) return false;
  std::string chosen;
  if (!FindSavedDeploymentConfig(*this, dcName, restoreDir, chosen)) return false;
  std::string text;
  if (!ReadSavedFile(*this, WrapperContexts::kRestoreDeployment, chosen, text)) return false;
  SDeploymentConfigInfoLib dc;
  if (!parser->ParseDeploymentConfig(text, dc)) {
    Error(WrapperContexts::kRestoreDeployment, "Failed to parse DeploymentConfigInfo %s",
          text.c_str());
    return false;
  }
  dc.metadata.name = dcName;
  if (!keepNames) RenameClaims(dc, claimNames);
  return PutDeploymentConfig(*this, nameSpace, dcName, dc, text);
}

bool WQOpenShiftSDKWrapper::RestoreSecrets(const std::string& nameSpace,
                                           const std::string& restoreDir) {
  return RestoreSavedObjects(*this, kSecrets, nameSpace, restoreDir);
}

bool WQOpenShiftSDKWrapper::RestoreConfigMaps(const std::string& nameSpace,
                                              const std::string& restoreDir) {
  return RestoreSavedObjects(*this, kConfigMaps, nameSpace, restoreDir);
}

}  // namespace OpenShiftSDKWrapper
