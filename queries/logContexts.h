#pragma once
// The context part ("[context]") of every log line of the queries module: the signature of
// the member that logs it, spelled as the agent's log readers know it. Pinned by
// tests/host/logContextsTest.cpp.
namespace OpenShiftSDKWrapper {
namespace QueryContexts {

inline constexpr char kGetProjectInfoList[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetProjectInfoList(std::"
    "vector<OpenShiftSDKWrapper::SProjectInfoLib>&, UINT64)";
inline constexpr char kGetStorageClassList[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetStorageClassList(std::"
    "vector<OpenShiftSDKWrapper::SStorageClassInfoLib>&, UINT64)";
inline constexpr char kGetDeploymentConfigList[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetDeploymentConfigList(const string&, std::"
    "vector<OpenShiftSDKWrapper::SDeploymentConfigInfoLib>&, UINT64)";
inline constexpr char kGetDeploymentConfigText[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetDeploymentConfig(const string&, "
    "const string&, std::string&, UINT64)";
inline constexpr char kGetDeploymentConfigRecord[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetDeploymentConfig(const string&, "
    "const string&, OpenShiftSDKWrapper::SDeploymentConfigInfoLib&, UINT64)";
inline constexpr char kGetPersistentVolumeClaimInfoList[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetPersistentVolumeClaimInfoList(const string&, "
    "std::vector<OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib>&, UINT64)";
inline constexpr char kGetPodInfoList[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetPodInfoList(const string&, std::"
    "vector<OpenShiftSDKWrapper::SPodInfoLib>&, UINT64)";
inline constexpr char kGetPodInfo[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetPodInfo(const string&, const string&, "
    "OpenShiftSDKWrapper::SPodInfoLib&, UINT64)";
inline constexpr char kGetPersistentVolumeClaimInfoText[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetPersistentVolumeClaimInfo(const string&, "
    "const string&, std::string&, UINT64)";
inline constexpr char kGetPersistentVolumeClaimInfoRecord[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetPersistentVolumeClaimInfo(const string&, "
    "const string&, OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib&, UINT64)";
inline constexpr char kGetPersistentVolumeInfo[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetPersistentVolumeInfo(const string&, "
    "OpenShiftSDKWrapper::SPersistentVolumeInfoLib&, UINT64)";
inline constexpr char kGetEndpointsInfo[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetEndpointsInfo(const string&, const string&, "
    "OpenShiftSDKWrapper::SEndpointsInfoLib&, UINT64)";
inline constexpr char kGetSecretInfo[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetSecretInfo(const string&, const string&, "
    "std::string&, UINT64)";
inline constexpr char kGetConfigMapInfo[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetConfigMapInfo(const string&, const string&, "
    "std::string&, UINT64)";
inline constexpr char kGetGlusterVolumeStatus[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetGlusterVolumeStatus(const string&, "
    "const string&, OpenShiftSDKWrapper::GLUSTER_RESOURCE_STATUS&)";
inline constexpr char kGetGlusterVolumeSnapshotList[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetGlusterVolumeSnapshotList(const string&, "
    "const string&, std::vector<std::__cxx11::basic_string<char> >&)";
inline constexpr char kGetGlusterVolumeSnapshotStatus[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetGlusterVolumeSnapshotStatus(const string&, "
    "const string&, OpenShiftSDKWrapper::GLUSTER_RESOURCE_STATUS&)";
inline constexpr char kGetGlusterSnapVolumeName[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetGlusterSnapVolumeName(const string&, "
    "const string&, std::string&)";
inline constexpr char kGetGlusterfsContainerCommandPrefix[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftQueries::"
    "GetGlusterfsContainerCommandPrefix(const string&, std::string&)";

// Every context above, in order.
inline constexpr const char* kAll[] = {kGetProjectInfoList,
                                       kGetStorageClassList,
                                       kGetDeploymentConfigList,
                                       kGetDeploymentConfigText,
                                       kGetDeploymentConfigRecord,
                                       kGetPersistentVolumeClaimInfoList,
                                       kGetPodInfoList,
                                       kGetPodInfo,
                                       kGetPersistentVolumeClaimInfoText,
                                       kGetPersistentVolumeClaimInfoRecord,
                                       kGetPersistentVolumeInfo,
                                       kGetEndpointsInfo,
                                       kGetSecretInfo,
                                       kGetConfigMapInfo,
                                       kGetGlusterVolumeStatus,
                                       kGetGlusterVolumeSnapshotList,
                                       kGetGlusterVolumeSnapshotStatus,
                                       kGetGlusterSnapVolumeName,
                                       kGetGlusterfsContainerCommandPrefix};

}  // namespace QueryContexts
}  // namespace OpenShiftSDKWrapper
