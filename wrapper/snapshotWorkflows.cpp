// Backup side of the facade: the GlusterFS volumes behind a deployment config's claims are
// snapshotted and mounted below a backup directory, and the definitions of the deployment
// config, its claims, secrets and config maps are written beside the mounts.
#include <cctype>

#include "host/luFile.h"
#include "operations/openshiftOperations.h"
#include "wrapper/openshiftWrapper.h"
#include "wrapper/workflowSupport.h"

namespace OpenShiftSDKWrapper {

namespace {

const char* const kPvcSnapshotContext = WQ_WRAPPER_CONTEXT(
    "CreatePVCSnapshot(const string&, const string&, const string&, const string&, "
    "OpenShiftSDKWrapper::SVolumeInfoLib&)");
const char* const kSecretContext = WQ_WRAPPER_CONTEXT(
    "CreateSecretVolumeSnapshot(const string&, const string&, const string&, const string&)");
const char* const kConfigMapContext = WQ_WRAPPER_CONTEXT(
    "SaveConfigMap(const string&, const string&, const string&, const string&)");
const char* const kVolumeContext = WQ_WRAPPER_CONTEXT(
    "CreateVolumeSnapshot(const string&, const OpenShiftSDKWrapper::SVolumeInfoLib&, const "
    "string&, const string&, std::vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)");
const char* const kDeploymentContext = WQ_WRAPPER_CONTEXT(
    "CreateDeploymentSnapshot(const string&, const string&, const string&, const string&, "
    "std::vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)");
const char* const kDeleteContext = WQ_WRAPPER_CONTEXT(
    "DeleteVolumeSnapshot(const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)");
const char* const kUnmountContext =
    WQ_WRAPPER_CONTEXT("UnmountVolume(const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)");

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
    Error(kPvcSnapshotContext, "Invalid Persistent Volume Claim name [%s/%s]", nameSpace.c_str(),
          claimName.c_str());
    return false;
  }
  SPersistentVolumeClaimInfoLib claim;
  if (!GetPersistentVolumeClaimInfo(nameSpace, claimName, claim, 0)) {
    Error(kPvcSnapshotContext, "Failed to get Persistent Volume Claim Info for [%s/%s]",
          nameSpace.c_str(), claimName.c_str());
    return false;
  }
  const std::string& volumeName = claim.spec.volumeName;
  const std::string mountDir = CLuPath::Append(backupDir, claimName);
  if (!operations->CreatePersistentVolumeSnapShot(nameSpace, volumeName, snapshotName, mountDir,
                                                  record)) {
    Error(kPvcSnapshotContext, "Failed to create Snapshot for Persistent Volume [%s/%s]",
          nameSpace.c_str(), volumeName.c_str());
    return false;
  }
  record.accessModes = claim.spec.accessModes;
  record.matchLabels = claim.spec.selector.matchLabels;
  record.persistentVolumeName = volumeName;
  // A claim that names its class only in the older annotation has no class of its own here;
  // the class of the volume bound to it is then the claim's class too.
  if (!claim.spec.storageClassName.empty()) record.storageClassName = claim.spec.storageClassName;

  if (!operations->WritePVCInfoToFile(nameSpace, claimName,
                                      CLuPath::Append(backupDir, "pvc_" + claimName))) {
    Error(kPvcSnapshotContext, "Failed to write PVC info [%s/%s] to file", nameSpace.c_str(),
          claimName.c_str());
    return false;
  }
  return true;
}

bool WQOpenShiftSDKWrapper::CreateSecretVolumeSnapshot(const std::string& nameSpace,
                                                       const std::string& secretName,
                                                       const std::string& /*snapshotName*/,
                                                       const std::string& backupDir) {
  static const SavedDefinition secret = {"secret_", kSecretContext,
                                         &WQOpenShiftOperations::WriteSecretInfoToFile,
                                         "Failed to write secret [%s/%s] to file",
                                         "Wrote secret to file [%s]:[%s]=>[%s]"};
  return SaveDefinition(*this, *operations, secret, nameSpace, secretName, backupDir);
}

bool WQOpenShiftSDKWrapper::SaveConfigMap(const std::string& nameSpace,
                                          const std::string& configMapName,
                                          const std::string& /*snapshotName*/,
                                          const std::string& backupDir) {
  static const SavedDefinition configMap = {"configmap_", kConfigMapContext,
                                            &WQOpenShiftOperations::WriteConfigMapToFile,
                                            "Failed to write configMap [%s/%s] to file",
                                            "Wrote configMap to file [%s]:[%s]=>[%s]"};
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
      Error(kVolumeContext, "Failed to create Snapshot of Persitstent Volume Claim [%s/%s]",
            nameSpace.c_str(), claimName.c_str());
      return false;
    }
  }
  const std::string& secretName = podVolume.secret.secretName;
  if (!secretName.empty() &&
      !CreateSecretVolumeSnapshot(nameSpace, secretName, snapshotName, backupDir)) {
    Error(kVolumeContext, "Failed to create Snapshot of Secret Volume Claim [%s/%s]",
          nameSpace.c_str(), secretName.c_str());
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
    Error(kDeploymentContext, "Failed to get Deployment Config Info for [%s/%s]",
          nameSpace.c_str(), dcName.c_str());
    return false;
  }
  // Not tested: a directory that cannot be made shows up in the first write or mount below.
  CLuDirectory::Create(backupDir, true);

  const SPodSpecInfoLib& pod = dc.spec.templateSpec.spec;
  for (const SVolumeInfoLib& volume : pod.volumes) {
    if (volume.hasPersistentVolumeClaim &&
        !CreateVolumeSnapshot(nameSpace, volume, snapshotName, backupDir, records)) {
      Error(kDeploymentContext, "Failed to create PVC Snapshot for deployment [%s/%s]",
            nameSpace.c_str(), dcName.c_str());
      return false;
    }
    if (volume.hasConfigMap &&
        !SaveConfigMap(nameSpace, volume.configMap.name, snapshotName, backupDir)) {
      return false;
    }
  }

  const std::string path = CLuPath::Append(backupDir, "deploymentconfig_" + dcName);
  if (!operations->WriteDeploymentConfigInfoToFile(nameSpace, dcName, path)) {
    Error(kDeploymentContext, "Failed to write deployment config [%s/%s] to file",
          nameSpace.c_str(), dcName.c_str());
    return false;
  }
  Debug(kDeploymentContext, "Wrote deployment config to file [%s]:[%s]=>[%s]", nameSpace.c_str(),
        dcName.c_str(), path.c_str());

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

bool WQOpenShiftSDKWrapper::DeleteVolumeSnapshot(const std::string& nameSpace,
                                                 SVolumeInfoLib& record) {
  if (!operations->DeletePersistentVolumeSnapShot(nameSpace, record)) {
    Error(kDeleteContext, "Failed to delete snapshot of persistent volume [%s/%s] ",
          nameSpace.c_str(), record.name.c_str());
    return false;
  }
  return true;
}

bool WQOpenShiftSDKWrapper::UnmountVolume(const std::string& nameSpace, SVolumeInfoLib& record) {
  if (!operations->UnmountPersistentVolume(nameSpace, record)) {
    Error(kUnmountContext, "Failed to unmount persistent volume [%s/%s] ", nameSpace.c_str(),
          record.name.c_str());
    return false;
  }
  return true;
}

}  // namespace OpenShiftSDKWrapper
