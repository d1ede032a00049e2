// Backup side of the facade: the GlusterFS volumes behind a deployment config's claims are
// snapshotted and mounted below a backup directory, and the definitions of the deployment
// config, its claims, secrets and config maps are written beside the mounts.
#include <cctype>
#include <cstddef>

#include "host/luFile.h"
#include "operations/openshiftOperations.h"
#include "wrapper/logContexts.h"
#include "wrapper/openshiftWrapper.h"
#include "wrapper/workflowSupport.h"

namespace OpenShiftSDKWrapper {

namespace {

bool IsLowerAlnum(char c) {
  return std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c));
}

// A definition saved beside the snapshots: its file prefix and the export that writes it.
struct SavedDefinition {
  const char* prefix;
  const char* context;
  bool (WQOpenShiftOperations::*write)(const std::string&, const std::string&, const std::string&);
  const char* failed;  // namespace, name
  const char* wrote;   // namespace, name, path
};

bool SaveDefinition(const DebugLog& log, WQOpenShiftOperations& operations,
                    const SavedDefinition& kind, const std::string& nameSpace,
                    const std::string& name, const std::string& backupDir) {
  const std::string path = CLuPath::Append(backupDir, kind.prefix + name);
  if (!(operations.*kind.write)(nameSpace, name, path)) {
    log.Error(kind.context, kind.failed, nameSpace.c_str(), name.c_str());
    return false;
  }
  log.Debug(kind.context, kind.wrote, nameSpace.c_str(), name.c_str(), path.c_str());
  return true;
}

}  // namespace

bool IsObjectName(const std::string& name) {
  if (name.empty() || name.size() > 253) return false;
  char previous = '.';  // a name, like each of its parts, begins with a letter or digit
  for (const char c : name) {
    if (c == '.') {
      if (!IsLowerAlnum(previous)) return false;
    } else if (c == '-') {
      if (previous == '.') return false;
    } else if (!IsLowerAlnum(c)) {
      return false;
    }
    previous = c;
  }
  return IsLowerAlnum(previous);
}

bool WQOpenShiftSDKWrapper::CreatePVCSnapshot(const std::string& nameSpace,
                                              const std::string& claimName,
                                              const std::string& snapshotName,
                                              const std::string& backupDir,
                                              SVolumeInfoLib& record) {
  // The name becomes a directory and a file name below the backup directory: a name such as
  // "../x" would reach outside it.
  if (!IsObjectName(claimName)) {
    Error(WrapperContexts::kCreatePVCSnapshot, "Invalid Persistent Volume Claim name [%s/%s]",
          nameSpace.c_str(), claimName.c_str());
    return false;
  }
  SPersistentVolumeClaimInfoLib claim;
  if (!GetPersistentVolumeClaimInfo(nameSpace, claimName, claim, 0)) {
    Error(WrapperContexts::kCreatePVCSnapshot,
          "Failed to get Persistent Volume Claim Info for [%s/%s]", nameSpace.c_str(),
          claimName.c_str());
    return false;
  }
  const std::string& volumeName = claim.spec.volumeName;
  const std::string mountDir = CLuPath::Append(backupDir, claimName);
  if (!operations->CreatePersistentVolumeSnapShot(nameSpace, volumeName, snapshotName, mountDir,
                                                  record)) {
    Error(WrapperContexts::kCreatePVCSnapshot,
          "Failed to create Snapshot for Persistent Volume [%s/%s]", nameSpace.c_str(),
          volumeName.c_str());
    return false;
  }
  return SaveClaimDefinition(nameSpace, claimName, claim, backupDir, record);
}

bool WQOpenShiftSDKWrapper::SaveClaimDefinition(const std::string& nameSpace,
                                                const std::string& claimName,
                                                const SPersistentVolumeClaimInfoLib& claim,
                                                const std::string& backupDir,
                                                SVolumeInfoLib& record) {
  record.accessModes = claim.spec.accessModes;
  record.matchLabels = claim.spec.selector.matchLabels;
  record.persistentVolumeName = claim.spec.volumeName;
  // A claim that names its class only in the older annotation has no class of its own here;
  // the class of the volume bound to it is then the claim's class too.
  if (!claim.spec.storageClassName.empty()) record.storageClassName = claim.spec.storageClassName;

  if (!operations->WritePVCInfoToFile(nameSpace, claimName,
                                      CLuPath::Append(backupDir, "pvc_" + claimName))) {
    Error(WrapperContexts::kCreatePVCSnapshot, "Failed to write PVC info [%s/%s] to file",
          nameSpace.c_str(), claimName.c_str());
    return false;
  }
  return true;
}

bool WQOpenShiftSDKWrapper::CreateSecretVolumeSnapshot(const std::string& nameSpace,
                                                       const std::string& secretName,
                                                       const std::string& /*snapshotName*/,
                                                       const std::string& backupDir) {
  static const SavedDefinition secret = {"secret_", WrapperContexts::kCreateSecretVolumeSnapshot,
                                         &WQOpenShiftOperations::WriteSecretInfoToFile,
                                         "Failed to write secret [%s/%s] to file",
                                         "Wrote secret to file [%s]:[%s]=>[%s]"};
  return SaveDefinition(*this, *operations, secret, nameSpace, secretName, backupDir);
}

bool WQOpenShiftSDKWrapper::SaveConfigMap(const std::string& nameSpace,
                                          const std::string& configMapName,
                                          const std::string& /*snapshotName*/,
                                          const std::string& backupDir) {
  static const SavedDefinition configMap = {
      "configmap_", WrapperContexts::kSaveConfigMap, &WQOpenShiftOperations::WriteConfigMapToFile,
      "Failed to write configMap [%s/%s] to file", "Wrote configMap to file [%s]:[%s]=>[%s]"};
  return SaveDefinition(*this, *operations, configMap, nameSpace, configMapName, backupDir);
}

bool WQOpenShiftSDKWrapper::CreateVolumeSnapshot(const std::string& nameSpace,
                                                 const SVolumeInfoLib& podVolume,
                                                 const std::string& snapshotName,
                                                 const std::string& backupDir,
                                                 std::vector<SVolumeInfoLib>& records) {
  const std::string& claimName = podVolume.persistentVolumeClaim.claimName;
  if (!claimName.empty()) {
    SVolumeInfoLib record;
    record.name = claimName;
    record.podVolumeName = podVolume.name;
    const bool snapshotted =
        CreatePVCSnapshot(nameSpace, claimName, snapshotName, backupDir, record);
    // A snapshot left mounted by a later failing step still needs its record: without it
    // the caller could neither unmount it nor delete it.
    if (snapshotted || record.snapshotState == 1) records.push_back(record);
    if (!snapshotted) {
      Error(WrapperContexts::kCreateVolumeSnapshot,
            "Failed to create Snapshot of Persitstent Volume Claim [%s/%s]", nameSpace.c_str(),
            claimName.c_str());
      return false;
    }
  }
  return SaveSecretVolume(nameSpace, podVolume, snapshotName, backupDir);
}

bool WQOpenShiftSDKWrapper::SaveSecretVolume(const std::string& nameSpace,
                                             const SVolumeInfoLib& podVolume,
                                             const std::string& snapshotName,
                                             const std::string& backupDir) {
  const std::string& secretName = podVolume.secret.secretName;
  if (!secretName.empty() &&
      !CreateSecretVolumeSnapshot(nameSpace, secretName, snapshotName, backupDir)) {
    Error(WrapperContexts::kCreateVolumeSnapshot,
          "Failed to create Snapshot of Secret Volume Claim [%s/%s]", nameSpace.c_str(),
          secretName.c_str());
    return false;
  }
  return true;
}

bool WQOpenShiftSDKWrapper::CreateDeploymentSnapshot(const std::string& nameSpace,
                                                     const std::string& dcName,
                                                     const std::string& snapshotName,
                                                     const std::string& backupDir,
                                                     std::vector<SVolumeInfoLib>& records) {
  SDeploymentConfigInfoLib dc;
  if (!GetDeploymentConfigInfo(nameSpace, dcName, dc, 0)) {
    Error(WrapperContexts::kCreateDeploymentSnapshot,
          "Failed to get Deployment Config Info for [%s/%s]", nameSpace.c_str(), dcName.c_str());
    return false;
  }
  return SnapshotDeploymentSteps(
      nameSpace, dcName, dc, snapshotName, backupDir, [&](const SVolumeInfoLib& volume) {
        return CreateVolumeSnapshot(nameSpace, volume, snapshotName, backupDir, records);
      });
}

template <typename ClaimStep>
bool WQOpenShiftSDKWrapper::SnapshotDeploymentSteps(
    const std::string& nameSpace, const std::string& dcName, const SDeploymentConfigInfoLib& dc,
    const std::string& snapshotName, const std::string& backupDir, ClaimStep claimStep) {
  // Not tested: a directory that cannot be made shows up in the first write or mount below.
  CLuDirectory::Create(backupDir, true);

  const SPodSpecInfoLib& pod = dc.spec.templateSpec.spec;
  for (const SVolumeInfoLib& volume : pod.volumes) {
    if (volume.hasPersistentVolumeClaim && !claimStep(volume)) {
      Error(WrapperContexts::kCreateDeploymentSnapshot,
            "Failed to create PVC Snapshot for deployment [%s/%s]", nameSpace.c_str(),
            dcName.c_str());
      return false;
    }
    if (volume.hasConfigMap &&
        !SaveConfigMap(nameSpace, volume.configMap.name, snapshotName, backupDir)) {
      return false;
    }
  }

  const std::string path = CLuPath::Append(backupDir, "deploymentconfig_" + dcName);
  if (!operations->WriteDeploymentConfigInfoToFile(nameSpace, dcName, path)) {
    Error(WrapperContexts::kCreateDeploymentSnapshot,
          "Failed to write deployment config [%s/%s] to file", nameSpace.c_str(), dcName.c_str());
    return false;
  }
  Debug(WrapperContexts::kCreateDeploymentSnapshot,
        "Wrote deployment config to file [%s]:[%s]=>[%s]", nameSpace.c_str(), dcName.c_str(),
        path.c_str());

  // Secrets and config maps the containers take their environment from; the callees log.
  const auto save = [&](const std::string& configMap, const std::string& secret) {
    return (configMap.empty() || SaveConfigMap(nameSpace, configMap, snapshotName, backupDir)) &&
           (secret.empty() ||
            CreateSecretVolumeSnapshot(nameSpace, secret, snapshotName, backupDir));
  };
  for (const SContainerInfoLib& container : pod.containers) {
    for (const SEnvFromSourceInfoLib& source : container.envFrom) {
      if (!save(source.configMapRef.name, source.secretRef.name)) return false;
    }
    for (const SEnvVarInfoLib& variable : container.env) {
      if (!save(variable.valueFrom.configMapKeyRef.name, variable.valueFrom.secretKeyRef.name)) {
        return false;
      }
    }
  }
  return true;
}

bool WQOpenShiftSDKWrapper::PrepareDeploymentSnapshot(const std::string& nameSpace,
                                                      const std::string& dcName,
                                                      SDeploymentBackupPlan& plan) {
  plan = SDeploymentBackupPlan();
  plan.nameSpace = nameSpace;
  plan.dcName = dcName;
  if (!GetDeploymentConfigInfo(nameSpace, dcName, plan.dc, 0)) {
    Error(WrapperContexts::kPrepareDeploymentSnapshot,
          "Failed to get Deployment Config Info for [%s/%s]", nameSpace.c_str(), dcName.c_str());
    return false;
  }
  if (connection->sshIdleSeconds() <= 0) {
    connection->setSshIdleSeconds(WQOpenShiftConnection::kKeptSessionIdleSeconds);
    plan.reuseTurnedOn = true;
  }
  for (const SVolumeInfoLib& volume : plan.dc.spec.templateSpec.spec.volumes) {
    const std::string& claimName = volume.persistentVolumeClaim.claimName;
    if (!volume.hasPersistentVolumeClaim || claimName.empty()) continue;
    SClaimBackupPlan claim;
    claim.podVolume = volume;
    const bool prepared = IsObjectName(claimName) &&
                          GetPersistentVolumeClaimInfo(nameSpace, claimName, claim.claim, 0) &&
                          operations->SelectSnapshotNode(
                              nameSpace, claim.claim.spec.volumeName, claim.volume, claim.node,
                              claim.containerPrefix, claim.stopAfterSnapshot) &&
                          connection->openNodeSession(claim.node);
    if (!prepared) {
      Error(WrapperContexts::kPrepareDeploymentSnapshot,
            "Failed to prepare the snapshot of Persistent Volume Claim [%s/%s]", nameSpace.c_str(),
            claimName.c_str());
      // Volumes started for their snapshot are stopped again, as no snapshot follows.
      plan.claims.push_back(claim);
      for (const SClaimBackupPlan& started : plan.claims) {
        if (started.stopAfterSnapshot) {
          operations->StopGlusterVolume(started.node, started.volume.spec.glusterfs.path);
        }
      }
      plan.claims.clear();
      if (plan.reuseTurnedOn) {
        connection->setSshIdleSeconds(0);
        connection->closeNodeSessions();
        plan.reuseTurnedOn = false;
      }
      return false;
    }
    plan.claims.push_back(claim);
  }
  return true;
}

bool WQOpenShiftSDKWrapper::CreateDeploymentSnapshots(const SDeploymentBackupPlan& plan,
                                                      const std::string& snapshotName,
                                                      std::vector<SVolumeInfoLib>& records) {
  for (size_t at = 0; at < plan.claims.size(); ++at) {
    const SClaimBackupPlan& claim = plan.claims[at];
    SVolumeInfoLib record;
    record.name = claim.podVolume.persistentVolumeClaim.claimName;
    // Snapshot names are unique across the pool and gluster stamps them only to the second:
    // without a number of their own, two made within one second would get the same name.
    const std::string requested = at == 0 ? snapshotName : snapshotName + "_" + std::to_string(at);
    if (!operations->CreateSnapshotOnNode(claim.node, claim.containerPrefix,
                                          claim.volume.spec.glusterfs.path, requested,
                                          claim.stopAfterSnapshot, record.glusterfs.snapshotName)) {
      Error(WrapperContexts::kCreateDeploymentSnapshots,
            "Failed to create Snapshot of Persistent Volume Claim [%s/%s] on node [%s]",
            plan.nameSpace.c_str(), record.name.c_str(), claim.node.c_str());
      return false;
    }
    record.podVolumeName = claim.podVolume.name;
    record.persistentVolumeName = claim.claim.spec.volumeName;
    records.push_back(record);
  }
  return true;
}

bool WQOpenShiftSDKWrapper::MountDeploymentSnapshots(SDeploymentBackupPlan& plan,
                                                     const std::string& backupDir,
                                                     std::vector<SVolumeInfoLib>& records) {
  if (records.size() != plan.claims.size()) {
    Error(WrapperContexts::kMountDeploymentSnapshots,
          "Refusing [%zu] snapshot records for the [%zu] claims of [%s/%s]", records.size(),
          plan.claims.size(), plan.nameSpace.c_str(), plan.dcName.c_str());
    return false;
  }
  const std::string& nameSpace = plan.nameSpace;
  std::vector<bool> deleted(records.size(), false);
  size_t next = 0;
  // The claim step of CreateVolumeSnapshot, with the snapshot made already.
  const auto mountClaim = [&](const SVolumeInfoLib& podVolume) {
    const std::string& claimName = podVolume.persistentVolumeClaim.claimName;
    if (!claimName.empty()) {
      const size_t at = next++;
      const SClaimBackupPlan& claim = plan.claims[at];
      SVolumeInfoLib& record = records[at];
      if (!operations->ActivateAndMountSnapshot(nameSpace, claim.node,
                                                record.glusterfs.snapshotName, claim.volume,
                                                CLuPath::Append(backupDir, claimName), record)) {
        deleted[at] = true;
        Error(WrapperContexts::kCreatePVCSnapshot,
              "Failed to create Snapshot for Persistent Volume [%s/%s]", nameSpace.c_str(),
              claim.claim.spec.volumeName.c_str());
        return false;
      }
      if (!SaveClaimDefinition(nameSpace, claimName, claim.claim, backupDir, record)) {
        return false;
      }
    }
    return SaveSecretVolume(nameSpace, podVolume, std::string(), backupDir);
  };
  const bool saved = SnapshotDeploymentSteps(nameSpace, plan.dcName, plan.dc, std::string(),
                                             backupDir, mountClaim);
  for (size_t at = records.size(); at-- > 0;) {
    if (deleted[at]) records.erase(records.begin() + static_cast<std::ptrdiff_t>(at));
  }
  if (plan.reuseTurnedOn) {
    connection->setSshIdleSeconds(0);
    connection->closeNodeSessions();
    plan.reuseTurnedOn = false;
  }
  return saved;
}

bool WQOpenShiftSDKWrapper::DeleteVolumeSnapshot(const std::string& nameSpace,
                                                 SVolumeInfoLib& record) {
  if (!operations->DeletePersistentVolumeSnapShot(nameSpace, record)) {
    Error(WrapperContexts::kDeleteVolumeSnapshot,
          "Failed to delete snapshot of persistent volume [%s/%s] ", nameSpace.c_str(),
          record.name.c_str());
    return false;
  }
  return true;
}

bool WQOpenShiftSDKWrapper::UnmountVolume(const std::string& nameSpace, SVolumeInfoLib& record) {
  if (!operations->UnmountPersistentVolume(nameSpace, record)) {
    Error(WrapperContexts::kUnmountVolume, "Failed to unmount persistent volume [%s/%s] ",
          nameSpace.c_str(), record.name.c_str());
    return false;
  }
  return true;
}

}  // namespace OpenShiftSDKWrapper
