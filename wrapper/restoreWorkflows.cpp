// Restore side of the facade: claims prepared (reused, replaced or newly named), mounted and
// emptied for the saved data, and the saved secrets, config maps and deployment config put
// back from the files of a backup directory.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
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
  std::string claimName = saved.name;
  const auto tell = [&](const char* wait, bool done, const ReadinessWait& result) {
    if (observer != nullptr) {
      (*observer)(wait, claimName, done, result.ready,
                  static_cast<double>(result.waitedMs) / 1000.0);
    }
  };
  // The claim name becomes a directory below the mount base whose contents are removed: a
  // name such as "../x" must never get that far.
  if (!IsObjectName(claimName)) {
    Error(context, "Invalid Persistent Volume Claim name [%s/%s]", nameSpace.c_str(),
          claimName.c_str());
    return false;
  }
  // Each read goes to a fresh record, which then replaces the claim record: a reader appends
  // to lists, so reading into the same record twice would double selector expressions.
  SPersistentVolumeClaimInfoLib claim;
  const auto readClaim = [&](const std::string& name) {
    SPersistentVolumeClaimInfoLib read;
    if (!GetPersistentVolumeClaimInfo(nameSpace, name, read, 0)) return false;
    claim = read;
    return true;
  };

  bool create = true;
  if (readClaim(claimName)) {
    bool replace = true;
    if (reuse) {
      const uint64_t expected = ConvertCapacityToBytes(saved.capacity);
      const uint64_t current = ConvertCapacityToBytes(StorageOf(claim.status.capacity));
      if (current >= expected) {
        create = false;
        replace = false;
        Error(context, "Using existing Persistent Volume Claim [%s/%s]", nameSpace.c_str(),
              claimName.c_str());
      } else {
        Error(context,
              "Deleting Persistent Volume Claim [%s/%s], current capacity [%lu] is less than "
              "expected capacity [%lu]",
              nameSpace.c_str(), claimName.c_str(), current, expected);
        SDeleteOptionsInfoLib options;
        if (!DeletePersistentVolumeClaim(nameSpace, claimName, options)) {
          Error(context, "Failed to delete Persistent Volume Claim [%s/%s]", nameSpace.c_str(),
                claimName.c_str());
          return false;
        }
      }
    }
    // A claim of that name still there (kept, or still being deleted) gets a new name.
    for (int draws = 0; replace && readClaim(claimName); ++draws) {
      DebugLvl(context, 2, "PVC [%s/%s] exists", nameSpace.c_str(), claimName.c_str());
      if (draws == kMaxGeneratedNames) {
        Error(context, "Failed to find a free Persistent Volume Claim name [%s-<n>] in [%s]",
              nameBase.c_str(), nameSpace.c_str());
        return false;
      }
      claimName = nameBase + "-" + std::to_string(std::rand());
      if (!IsObjectName(claimName)) {
        Error(context, "Invalid Persistent Volume Claim name [%s/%s]", nameSpace.c_str(),
              claimName.c_str());
        return false;
      }
    }
  }

  if (create) {
    claim.metadata.name = claimName;
    claim.spec.accessModes = saved.accessModes;
    claim.spec.selector.matchLabels = saved.matchLabels;
    claim.spec.storageClassName = saved.storageClassName;
    // Written after any request the record already holds, so this one wins.
    claim.spec.resources.requests.keyValues.emplace_back("storage", saved.capacity);
    Debug(context, "Creating Persistent Volume Claim [%s/%s] storageclass [%s]", nameSpace.c_str(),
          claimName.c_str(), saved.storageClassName.c_str());
    if (!CreatePersistentVolumeClaim(nameSpace, claim)) {
      Error(context, "Failed to create persistent volume claim [%s/%s]", nameSpace.c_str(),
            claimName.c_str());
      return false;
    }
    if (waitForReadiness) {
      Debug(context, "Waiting up to 120 seconds for gluster volume of [%s/%s] to be ready...",
            nameSpace.c_str(), claimName.c_str());
      tell("volume", false, ReadinessWait());
      const ReadinessWait wait = WaitUntilReady(kVolumeSettleMs, "openshiftWrapper", [&] {
        return ClaimVolumeIsReady(context, nameSpace, claimName);
      });
      LogWait(*this, context, "Gluster volume of [" + nameSpace + "/" + claimName + "]", wait);
      tell("volume", true, wait);
    } else {
      Debug(context, "Wait for 120 seconds for gluster volume to become stable...");
      LUSLEEP(kVolumeSettleMs, "openshiftWrapper", __LINE__);
    }
    if (!readClaim(claimName)) {
      Error(context, "Faile to get Persistent Volume Claim [%s/%s]", nameSpace.c_str(),
            claimName.c_str());
      return false;
    }
  }

  const std::string mountDir = CLuPath::Append(mountBase, claimName);
  const std::string& volumeName = claim.spec.volumeName;
  const CLuError made = CLuDirectory::Create(mountDir, true);
  if (made.IsError()) {
    Error(context, "Failed to create directory [%s] to mount volume, err [%s]", mountBase.c_str(),
          made.AsString().c_str());
    return false;
  }
  if (!operations->MountPersistentVolume(nameSpace, volumeName, mountDir)) {
    Error(context, "Failed to mount persistent volume [%s] project [%s]", volumeName.c_str(),
          nameSpace.c_str());
    return false;
  }
  if (waitForReadiness) {
    Debug(context, "Waiting up to 60 seconds for the mount [%s] to answer...", mountDir.c_str());
    tell("mount", false, ReadinessWait());
    const ReadinessWait wait = WaitUntilReady(kMountSettleMs, "openshiftWrapper",
                                              [&] { return GlusterMountAnswers(mountDir); });
    LogWait(*this, context, "Mount [" + mountDir + "]", wait);
    tell("mount", true, wait);
  } else {
    Debug(context, "Wait for 60 seconds for gluster volume mount point to become stable...");
    LUSLEEP(kMountSettleMs, "openshiftWrapper", __LINE__);
  }
  if (!operations->CleanPersistentVolume(mountDir)) {
    Error(context, "Failed to clean persistent volume [%s] project [%s]", volumeName.c_str(),
          nameSpace.c_str());
    return false;
  }
  claimUsed = claimName;
  return true;
}

bool WQOpenShiftSDKWrapper::RestoreDeployment(
    const std::string& nameSpace, const std::string& dcName, const std::string& restoreDir,
    bool keepNames, const std::map<std::string, std::string>& claimNames) {
  if (!RestoreSecrets(nameSpace, restoreDir)) return false;
  if (!RestoreConfigMaps(nameSpace, restoreDir)) return false;

  // A backup directory may hold the exports of several deployment configs: the one saved
  // under the requested name is taken, else the only one there is (restored under a new
  // name). Several others, none of that name, cannot be told apart.
  const std::string prefix = kDeploymentConfigPrefix;
  const std::string ownEntry = prefix + dcName;
  std::vector<std::string> files;
  std::string chosen;
  if (!VisitSavedFiles(*this, WrapperContexts::kRestoreDeployment,
                       WrapperContexts::kRestoreDeployment, restoreDir, prefix,
                       [&](const std::string& entryName, const std::string& path) {
                         files.push_back(path);
                         if (entryName == ownEntry) chosen = path;
                         return true;
                       })) {
    return false;
  }
  if (files.empty()) {
    Error(WrapperContexts::kRestoreDeployment,
          "Deployment Config file prefix [%s] not found at [%s]", prefix.c_str(),
          restoreDir.c_str());
    return false;
  }
  if (chosen.empty() && files.size() > 1) {
    Error(WrapperContexts::kRestoreDeployment,
          "Deployment Config file [%s] not found at [%s], and [%zu] other files have the prefix",
          ownEntry.c_str(), restoreDir.c_str(), files.size());
    return false;
  }
  if (chosen.empty()) chosen = files.front();

  std::string text;
  if (!ReadSavedFile(*this, WrapperContexts::kRestoreDeployment, chosen, text)) return false;
  SDeploymentConfigInfoLib dc;
  if (!parser->ParseDeploymentConfig(text, dc)) {
    Error(WrapperContexts::kRestoreDeployment, "Failed to parse DeploymentConfigInfo %s",
          text.c_str());
    return false;
  }
  dc.metadata.name = dcName;
  if (!keepNames) {
    for (SVolumeInfoLib& volume : dc.spec.templateSpec.spec.volumes) {
      std::string& claimName = volume.persistentVolumeClaim.claimName;
      if (claimName.empty()) continue;
      const auto mapped = claimNames.find(claimName);
      if (mapped != claimNames.end()) claimName = mapped->second;
    }
  }

  SDeploymentConfigInfoLib current;
  if (!GetDeploymentConfigInfo(nameSpace, dcName, current, 0)) {
    if (!CreateDeploymentConfig(nameSpace, dc)) {
      Error(WrapperContexts::kRestoreDeployment, "Failed to create DeploymentConfig %s/%s with %s",
            nameSpace.c_str(), dcName.c_str(), text.c_str());
      return false;
    }
  } else if (!UpdateDeploymentConfig(nameSpace, dcName, dc, current)) {
    Error(WrapperContexts::kRestoreDeployment, "Failed to update DeploymentConfig %s/%s with %s",
          nameSpace.c_str(), dcName.c_str(), text.c_str());
    return false;
  }
  return true;
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
