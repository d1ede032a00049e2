// The context texts of the log lines, pinned: the agent's log readers match them, so a change
// to a table of contexts must be a deliberate one, made here too.
#include <gtest/gtest.h>

#include <string>

#include "connection/logContexts.h"
#include "operations/logContexts.h"
#include "queries/logContexts.h"
#include "wrapper/logContexts.h"

namespace {

// Connection, queries, operations, facade: every entry of each module's table, in order.
const char* const kExpected = R"(
bool OpenShiftSDKWrapper::WQOpenShiftConnection::sendReq(HTTP_REQ_TYPE, const string&, const string&, std::string&)
bool OpenShiftSDKWrapper::WQOpenShiftConnection::renewToken()
bool OpenShiftSDKWrapper::WQOpenShiftConnection::connect(const string&, const string&, const string&, const std::map<std::__cxx11::basic_string<char>, OpenShiftSDKWrapper::SSshLoginCreds>&)
bool OpenShiftSDKWrapper::WQOpenShiftConnection::connectServiceAccount(const string&, const string&, const string&, const std::map<std::__cxx11::basic_string<char>, OpenShiftSDKWrapper::SSshLoginCreds>&)
bool OpenShiftSDKWrapper::WQOpenShiftConnection::openSSHSession(const string&, LIBSSH2_SESSION*&, int&)
bool OpenShiftSDKWrapper::WQOpenShiftConnection::executeRemoteCommand(const string&, const string&, std::string&, std::string&)
bool OpenShiftSDKWrapper::WQOpenShiftConnection::executeCommandInPod(const string&, const string&, const string&, const string&, std::string&, std::string&)
bool OpenShiftSDKWrapper::WQLibCurl::WQLibCurlInit(const char*, bool, bool, WriteCallback)
bool OpenShiftSDKWrapper::WQLibCurl::ConfigureHandle()
bool OpenShiftSDKWrapper::WQLibCurl::ConfigureTls()
bool OpenShiftSDKWrapper::WQLibCurl::SetMethod(OpenShiftSDKWrapper::HTTP_REQ_TYPE, const void*, size_t, const char*)
bool OpenShiftSDKWrapper::WQLibCurl::WQLibCurlSendHttpReq(OpenShiftSDKWrapper::HTTP_REQ_TYPE, const char*, const void*, size_t, bool, const char*)
sendReq
renewToken
openSSHSession
closeSSHSession
executeRemoteCommand
WQLibCurl
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetProjectInfoList(std::vector<OpenShiftSDKWrapper::SProjectInfoLib>&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetStorageClassList(std::vector<OpenShiftSDKWrapper::SStorageClassInfoLib>&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetDeploymentConfigList(const string&, std::vector<OpenShiftSDKWrapper::SDeploymentConfigInfoLib>&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetDeploymentConfig(const string&, const string&, std::string&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetDeploymentConfig(const string&, const string&, OpenShiftSDKWrapper::SDeploymentConfigInfoLib&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetPersistentVolumeClaimInfoList(const string&, std::vector<OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib>&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetPodInfoList(const string&, std::vector<OpenShiftSDKWrapper::SPodInfoLib>&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetPodInfo(const string&, const string&, OpenShiftSDKWrapper::SPodInfoLib&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetPersistentVolumeClaimInfo(const string&, const string&, std::string&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetPersistentVolumeClaimInfo(const string&, const string&, OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetPersistentVolumeInfo(const string&, OpenShiftSDKWrapper::SPersistentVolumeInfoLib&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetEndpointsInfo(const string&, const string&, OpenShiftSDKWrapper::SEndpointsInfoLib&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetSecretInfo(const string&, const string&, std::string&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetConfigMapInfo(const string&, const string&, std::string&, UINT64)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetGlusterVolumeStatus(const string&, const string&, OpenShiftSDKWrapper::GLUSTER_RESOURCE_STATUS&)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetGlusterVolumeSnapshotList(const string&, const string&, std::vector<std::__cxx11::basic_string<char> >&)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetGlusterVolumeSnapshotStatus(const string&, const string&, OpenShiftSDKWrapper::GLUSTER_RESOURCE_STATUS&)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetGlusterSnapVolumeName(const string&, const string&, std::string&)
bool OpenShiftSDKWrapper::WQOpenShiftQueries::GetGlusterfsContainerCommandPrefix(const string&, std::string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreateDeploymentConfig(const string&, OpenShiftSDKWrapper::SDeploymentConfigInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::UpdateDeploymentConfig(const string&, const string&, OpenShiftSDKWrapper::SDeploymentConfigInfoLib&, OpenShiftSDKWrapper::SDeploymentConfigInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::ScaleDeploymentConfig(const string&, const string&, OpenShiftSDKWrapper::SScaleInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::DeleteDeploymentConfig(const string&, const string&, OpenShiftSDKWrapper::SDeleteOptionsInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreatePersistentVolumeClaim(const string&, OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::UpdatePersistentVolumeClaim(const string&, const string&, OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::DeletePersistentVolumeClaim(const string&, const string&, OpenShiftSDKWrapper::SDeleteOptionsInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreatePersistentVolume(OpenShiftSDKWrapper::SPersistentVolumeInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::UpdatePersistentVolume(const string&, OpenShiftSDKWrapper::SPersistentVolumeInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::DeletePersistentVolume(const string&, OpenShiftSDKWrapper::SDeleteOptionsInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreateEndpoints(const string&, OpenShiftSDKWrapper::SEndpointsInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::UpdateEndpoints(const string&, const string&, OpenShiftSDKWrapper::SEndpointsInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::DeleteEndpoints(const string&, const string&, OpenShiftSDKWrapper::SDeleteOptionsInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreateOrUpdateSecret(const string&, const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreateOrUpdateConfigMap(const string&, const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::WaitForPendingPVC(const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::WaitForScaleReplica(const string&, const string&, OpenShiftSDKWrapper::SScaleInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::StartGlusterVolume(const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::StopGlusterVolume(const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreateGlusterVolumeSnapshot(const string&, const string&, const string&, std::string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::ActivateGlusterVolumeSnapshot(const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::DeactivateGlusterVolumeSnapshot(const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::DeleteGlusterVolumeSnapshot(const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::MountGlusterVolumeSnapshot(const string&, const string&, const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::MountGlusterVolume(const string&, const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::UnMountGlusterVolume(const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::CleanGlusterVolume(const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::CreatePersistentVolumeSnapShot(const string&, const string&, const string&, const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::MountPersistentVolume(const string&, const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::DeletePersistentVolumeSnapShot(const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::UnmountPersistentVolume(const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::CleanPersistentVolume(const string&)
bool OpenShiftSDKWrapper::WQOpenShiftOperations::WriteToFile(const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::Connect(const string&, const string&, const string&, const std::map<std::__cxx11::basic_string<char>, OpenShiftSDKWrapper::SSshLoginCreds>&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::ExecuteCommandInDC(const string&, const string&, const string&, std::string&, std::string&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::ExecuteAnnotationCommandInDC(const string&, const string&, const string&, std::string&, std::string&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::InternalExecuteCommandInDC(const string&, const OpenShiftSDKWrapper::SDeploymentConfigInfoLib&, const string&, std::string&, std::string&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::PrepareVolume(const string&, const string&, const string&, const OpenShiftSDKWrapper::SVolumeInfoLib&, bool, std::string&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::PrepareVolumeWhenReady(const string&, const string&, const string&, const OpenShiftSDKWrapper::SVolumeInfoLib&, bool, std::string&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::RestoreDeployment(const string&, const string&, const string&, bool, const std::map<std::__cxx11::basic_string<char>, std::__cxx11::basic_string<char> >&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::RestoreSecrets(const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::RestoreConfigMaps(const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::CreatePVCSnapshot(const string&, const string&, const string&, const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::CreateSecretVolumeSnapshot(const string&, const string&, const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::SaveConfigMap(const string&, const string&, const string&, const string&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::CreateVolumeSnapshot(const string&, const OpenShiftSDKWrapper::SVolumeInfoLib&, const string&, const string&, std::vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::CreateDeploymentSnapshot(const string&, const string&, const string&, const string&, std::vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::PrepareDeploymentSnapshot(const string&, const string&, OpenShiftSDKWrapper::SDeploymentBackupPlan&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::CreateDeploymentSnapshots(const OpenShiftSDKWrapper::SDeploymentBackupPlan&, const string&, std::vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::MountDeploymentSnapshots(OpenShiftSDKWrapper::SDeploymentBackupPlan&, const string&, std::vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::DeleteVolumeSnapshot(const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)
bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::UnmountVolume(const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)
)";

template <size_t N>
void Append(std::string& all, const char* const (&table)[N]) {
  for (const char* text : table) all += std::string(text) + "\n";
}

TEST(LogContexts, EveryModuleKeepsItsTexts) {
  std::string all = "\n";
  Append(all, OpenShiftSDKWrapper::ConnectionContexts::kAll);
  Append(all, OpenShiftSDKWrapper::QueryContexts::kAll);
  Append(all, OpenShiftSDKWrapper::OperationContexts::kAll);
  Append(all, OpenShiftSDKWrapper::WrapperContexts::kAll);
  EXPECT_EQ(all, kExpected);
}

}  // namespace
