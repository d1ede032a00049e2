#pragma once
// The context part ("[context]") of every log line of the facade: the signature of the member
// that logs it, spelled as the agent's log readers know it. Pinned by
// tests/host/logContextsTest.cpp.
namespace OpenShiftSDKWrapper {
namespace WrapperContexts {

inline constexpr char kConnect[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::Connect(const string&, const string&, "
    "const string&, const std::map<std::__cxx11::basic_string<char>, OpenShiftSDKWrapper::"
    "SSshLoginCreds>&)";
inline constexpr char kExecuteCommandInDC[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::ExecuteCommandInDC(const string&, "
    "const string&, const string&, std::string&, std::string&)";
inline constexpr char kExecuteAnnotationCommandInDC[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::ExecuteAnnotationCommandInDC(const string&, "
    "const string&, const string&, std::string&, std::string&)";
inline constexpr char kInternalExecuteCommandInDC[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::InternalExecuteCommandInDC(const string&, "
    "const OpenShiftSDKWrapper::SDeploymentConfigInfoLib&, const string&, std::string&, std::"
    "string&)";
inline constexpr char kPrepareVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::PrepareVolume(const string&, const string&, "
    "const string&, const OpenShiftSDKWrapper::SVolumeInfoLib&, bool, std::string&)";
inline constexpr char kPrepareVolumeWhenReady[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::PrepareVolumeWhenReady(const string&, "
    "const string&, const string&, const OpenShiftSDKWrapper::SVolumeInfoLib&, bool, std::string&)";
inline constexpr char kRestoreDeployment[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::RestoreDeployment(const string&, "
    "const string&, const string&, bool, const std::map<std::__cxx11::basic_string<char>, std::"
    "__cxx11::basic_string<char> >&)";
inline constexpr char kRestoreSecrets[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::RestoreSecrets(const string&, const string&)";
inline constexpr char kRestoreConfigMaps[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::RestoreConfigMaps(const string&, "
    "const string&)";
inline constexpr char kCreatePVCSnapshot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::CreatePVCSnapshot(const string&, "
    "const string&, const string&, const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)";
inline constexpr char kCreateSecretVolumeSnapshot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::CreateSecretVolumeSnapshot(const string&, "
    "const string&, const string&, const string&)";
inline constexpr char kSaveConfigMap[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::SaveConfigMap(const string&, const string&, "
    "const string&, const string&)";
inline constexpr char kCreateVolumeSnapshot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::CreateVolumeSnapshot(const string&, "
    "const OpenShiftSDKWrapper::SVolumeInfoLib&, const string&, const string&, std::"
    "vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)";
inline constexpr char kCreateDeploymentSnapshot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::CreateDeploymentSnapshot(const string&, "
    "const string&, const string&, const string&, std::vector<OpenShiftSDKWrapper::"
    "SVolumeInfoLib>&)";
inline constexpr char kPrepareDeploymentSnapshot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::PrepareDeploymentSnapshot(const string&, "
    "const string&, OpenShiftSDKWrapper::SDeploymentBackupPlan&)";
inline constexpr char kCreateDeploymentSnapshots[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::"
    "CreateDeploymentSnapshots(const OpenShiftSDKWrapper::SDeploymentBackupPlan&, const string&, "
    "std::vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)";
inline constexpr char kMountDeploymentSnapshots[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::"
    "MountDeploymentSnapshots(OpenShiftSDKWrapper::SDeploymentBackupPlan&, const string&, std::"
    "vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)";
inline constexpr char kDeleteVolumeSnapshot[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::DeleteVolumeSnapshot(const string&, "
    "OpenShiftSDKWrapper::SVolumeInfoLib&)";
inline constexpr char kUnmountVolume[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::UnmountVolume(const string&, "
    "OpenShiftSDKWrapper::SVolumeInfoLib&)";

// Every context above, in order.
inline constexpr const char* kAll[] = {kConnect,
                                       kExecuteCommandInDC,
                                       kExecuteAnnotationCommandInDC,
                                       kInternalExecuteCommandInDC,
                                       kPrepareVolume,
                                       kPrepareVolumeWhenReady,
                                       kRestoreDeployment,
                                       kRestoreSecrets,
                                       kRestoreConfigMaps,
                                       kCreatePVCSnapshot,
                                       kCreateSecretVolumeSnapshot,
                                       kSaveConfigMap,
                                       kCreateVolumeSnapshot,
                                       kCreateDeploymentSnapshot,
                                       kPrepareDeploymentSnapshot,
                                       kCreateDeploymentSnapshots,
                                       kMountDeploymentSnapshots,
                                       kDeleteVolumeSnapshot,
                                       kUnmountVolume};

}  // namespace WrapperContexts
}  // namespace OpenShiftSDKWrapper
