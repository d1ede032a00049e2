#pragma once
// The context part ("[context]") of every log line of the operations module: the signature of
// the member that logs it, spelled as the agent's log readers know it. Pinned by
// tests/host/logContextsTest.cpp.
namespace OpenShiftSDKWrapper {
namespace OperationContexts {

inline constexpr char kCreateDeploymentConfig[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreateDeploymentConfig(const string&, "
    "OpenShiftSDKWrapper::SDeploymentConfigInfoLib&)";
inline constexpr char kUpdateDeploymentConfig[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::UpdateDeploymentConfig(const string&, "
    "const string&, OpenShiftSDKWrapper::SDeploymentConfigInfoLib&, OpenShiftSDKWrapper::"
    "SDeploymentConfigInfoLib&)";
inline constexpr char kScaleDeploymentConfig[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::ScaleDeploymentConfig(const string&, "
    "const string&, OpenShiftSDKWrapper::SScaleInfoLib&)";
inline constexpr char kDeleteDeploymentConfig[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::DeleteDeploymentConfig(const string&, "
    "const string&, OpenShiftSDKWrapper::SDeleteOptionsInfoLib&)";
inline constexpr char kCreatePersistentVolumeClaim[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreatePersistentVolumeClaim(const string&, "
    "OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib&)";
inline constexpr char kUpdatePersistentVolumeClaim[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::UpdatePersistentVolumeClaim(const string&, "
    "const string&, OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib&)";
inline constexpr char kDeletePersistentVolumeClaim[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::DeletePersistentVolumeClaim(const string&, "
    "const string&, OpenShiftSDKWrapper::SDeleteOptionsInfoLib&)";
inline constexpr char kCreatePersistentVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreatePersistentVolume(OpenShiftSDKWrapper::"
    "SPersistentVolumeInfoLib&)";
inline constexpr char kUpdatePersistentVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::UpdatePersistentVolume(const string&, "
    "OpenShiftSDKWrapper::SPersistentVolumeInfoLib&)";
inline constexpr char kDeletePersistentVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::DeletePersistentVolume(const string&, "
    "OpenShiftSDKWrapper::SDeleteOptionsInfoLib&)";
inline constexpr char kCreateEndpoints[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreateEndpoints(const string&, "
    "OpenShiftSDKWrapper::SEndpointsInfoLib&)";
inline constexpr char kUpdateEndpoints[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::UpdateEndpoints(const string&, "
    "const string&, OpenShiftSDKWrapper::SEndpointsInfoLib&)";
inline constexpr char kDeleteEndpoints[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::DeleteEndpoints(const string&, "
    "const string&, OpenShiftSDKWrapper::SDeleteOptionsInfoLib&)";
inline constexpr char kCreateOrUpdateSecret[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreateOrUpdateSecret(const string&, "
    "const string&, const string&)";
inline constexpr char kCreateOrUpdateConfigMap[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreateOrUpdateConfigMap(const string&, "
    "const string&, const string&)";
inline constexpr char kWaitForPendingPVC[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::WaitForPendingPVC(const string&, "
    "const string&)";
inline constexpr char kWaitForScaleReplica[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::WaitForScaleReplica(const string&, "
    "const string&, OpenShiftSDKWrapper::SScaleInfoLib&)";
inline constexpr char kStartGlusterVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::StartGlusterVolume(const string&, "
    "const string&)";
inline constexpr char kStopGlusterVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::StopGlusterVolume(const string&, "
    "const string&)";
inline constexpr char kCreateGlusterVolumeSnapshot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreateGlusterVolumeSnapshot(const string&, "
    "const string&, const string&, std::string&)";
inline constexpr char kActivateGlusterVolumeSnapshot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::ActivateGlusterVolumeSnapshot(const string&, "
    "const string&)";
inline constexpr char kDeactivateGlusterVolumeSnapshot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::"
    "DeactivateGlusterVolumeSnapshot(const string&, const string&)";
inline constexpr char kDeleteGlusterVolumeSnapshot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::DeleteGlusterVolumeSnapshot(const string&, "
    "const string&)";
inline constexpr char kMountGlusterVolumeSnapshot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::MountGlusterVolumeSnapshot(const string&, "
    "const string&, const string&, const string&)";
inline constexpr char kMountGlusterVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::MountGlusterVolume(const string&, "
    "const string&, const string&)";
inline constexpr char kUnMountGlusterVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::UnMountGlusterVolume(const string&)";
inline constexpr char kCleanGlusterVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::CleanGlusterVolume(const string&)";
inline constexpr char kCreatePersistentVolumeSnapShot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::"
    "CreatePersistentVolumeSnapShot(const string&, const string&, const string&, const string&, "
    "OpenShiftSDKWrapper::SVolumeInfoLib&)";
inline constexpr char kMountPersistentVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::MountPersistentVolume(const string&, "
    "const string&, const string&)";
inline constexpr char kDeletePersistentVolumeSnapShot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::"
    "DeletePersistentVolumeSnapShot(const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)";
inline constexpr char kUnmountPersistentVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::UnmountPersistentVolume(const string&, "
    "OpenShiftSDKWrapper::SVolumeInfoLib&)";
inline constexpr char kCleanPersistentVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::CleanPersistentVolume(const string&)";
inline constexpr char kWriteToFile[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::WriteToFile(const string&, const string&)";

// Every context above, in order.
inline constexpr const char* kAll[] = {kCreateDeploymentConfig,
                                       kUpdateDeploymentConfig,
                                       kScaleDeploymentConfig,
                                       kDeleteDeploymentConfig,
                                       kCreatePersistentVolumeClaim,
                                       kUpdatePersistentVolumeClaim,
                                       kDeletePersistentVolumeClaim,
                                       kCreatePersistentVolume,
                                       kUpdatePersistentVolume,
                                       kDeletePersistentVolume,
                                       kCreateEndpoints,
                                       kUpdateEndpoints,
                                       kDeleteEndpoints,
                                       kCreateOrUpdateSecret,
                                       kCreateOrUpdateConfigMap,
                                       kWaitForPendingPVC,
                                       kWaitForScaleReplica,
                                       kStartGlusterVolume,
                                       kStopGlusterVolume,
                                       kCreateGlusterVolumeSnapshot,
                                       kActivateGlusterVolumeSnapshot,
                                       kDeactivateGlusterVolumeSnapshot,
                                       kDeleteGlusterVolumeSnapshot,
                                       kMountGlusterVolumeSnapshot,
                                       kMountGlusterVolume,
                                       kUnMountGlusterVolume,
                                       kCleanGlusterVolume,
                                       kCreatePersistentVolumeSnapShot,
                                       kMountPersistentVolume,
                                       kDeletePersistentVolumeSnapShot,
                                       kUnmountPersistentVolume,
                                       kCleanPersistentVolume,
                                       kWriteToFile};

}  // namespace OperationContexts
}  // namespace OpenShiftSDKWrapper
