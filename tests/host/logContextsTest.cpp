// The context texts of the log lines, pinned: the agent's log readers match them, so a change
// to a table of contexts must be a deliberate one, made here too.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "connection/logContexts.h"
#include "operations/logContexts.h"
#include "queries/logContexts.h"
#include "wrapper/logContexts.h"

namespace {

template <size_t N>
std::vector<std::string> Texts(const char* const (&table)[N]) {
  return std::vector<std::string>(std::begin(table), std::end(table));
}

TEST(LogContexts, ConnectionKeepsItsTexts) {
  const std::string connection = "bool OpenShiftSDKWrapper::WQOpenShiftConnection::";
  const std::string map =
      "const std::map<std::__cxx11::basic_string<char>, OpenShiftSDKWrapper::SSshLoginCreds>&)";
  const std::string curl = "bool OpenShiftSDKWrapper::WQLibCurl::";
  EXPECT_EQ(
      Texts(OpenShiftSDKWrapper::ConnectionContexts::kAll),
      (std::vector<std::string>{
          connection + "sendReq(HTTP_REQ_TYPE, const string&, const string&, std::string&)",
          connection + "renewToken()",
          connection + "connect(const string&, const string&, const string&, " + map,
          connection + "connectServiceAccount(const string&, const string&, const string&, " + map,
          connection + "openSSHSession(const string&, LIBSSH2_SESSION*&, int&)",
          connection +
              "executeRemoteCommand(const string&, const string&, std::string&, std::string&)",
          connection + "executeCommandInPod(const string&, const string&, const string&, const "
                       "string&, std::string&, std::string&)",
          curl + "WQLibCurlInit(const char*, bool, bool, WriteCallback)",
          curl + "ConfigureHandle()", curl + "ConfigureTls()",
          curl + "SetMethod(OpenShiftSDKWrapper::HTTP_REQ_TYPE, const void*, size_t, const char*)",
          curl + "WQLibCurlSendHttpReq(OpenShiftSDKWrapper::HTTP_REQ_TYPE, const char*, const "
                 "void*, size_t, bool, const char*)",
          "sendReq", "renewToken", "openSSHSession", "closeSSHSession", "executeRemoteCommand",
          "WQLibCurl"}));
}

TEST(LogContexts, QueriesKeepTheirTexts) {
  const std::string queries = "bool OpenShiftSDKWrapper::WQOpenShiftQueries::";
  EXPECT_EQ(
      Texts(OpenShiftSDKWrapper::QueryContexts::kAll),
      (std::vector<std::string>{
          queries +
              "GetProjectInfoList(std::vector<OpenShiftSDKWrapper::SProjectInfoLib>&, UINT64)",
          queries + "GetStorageClassList(std::vector<OpenShiftSDKWrapper::SStorageClassInfoLib>&, "
                    "UINT64)",
          queries + "GetDeploymentConfigList(const string&, "
                    "std::vector<OpenShiftSDKWrapper::SDeploymentConfigInfoLib>&, UINT64)",
          queries + "GetDeploymentConfig(const string&, const string&, std::string&, UINT64)",
          queries + "GetDeploymentConfig(const string&, const string&, "
                    "OpenShiftSDKWrapper::SDeploymentConfigInfoLib&, UINT64)",
          queries + "GetPersistentVolumeClaimInfoList(const string&, "
                    "std::vector<OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib>&, UINT64)",
          queries + "GetPodInfoList(const string&, std::vector<OpenShiftSDKWrapper::SPodInfoLib>&, "
                    "UINT64)",
          queries +
              "GetPodInfo(const string&, const string&, OpenShiftSDKWrapper::SPodInfoLib&, UINT64)",
          queries +
              "GetPersistentVolumeClaimInfo(const string&, const string&, std::string&, UINT64)",
          queries + "GetPersistentVolumeClaimInfo(const string&, const string&, "
                    "OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib&, UINT64)",
          queries + "GetPersistentVolumeInfo(const string&, "
                    "OpenShiftSDKWrapper::SPersistentVolumeInfoLib&, UINT64)",
          queries + "GetEndpointsInfo(const string&, const string&, "
                    "OpenShiftSDKWrapper::SEndpointsInfoLib&, UINT64)",
          queries + "GetSecretInfo(const string&, const string&, std::string&, UINT64)",
          queries + "GetConfigMapInfo(const string&, const string&, std::string&, UINT64)",
          queries + "GetGlusterVolumeStatus(const string&, const string&, "
                    "OpenShiftSDKWrapper::GLUSTER_RESOURCE_STATUS&)",
          queries + "GetGlusterVolumeSnapshotList(const string&, const string&, "
                    "std::vector<std::__cxx11::basic_string<char> >&)",
          queries + "GetGlusterVolumeSnapshotStatus(const string&, const string&, "
                    "OpenShiftSDKWrapper::GLUSTER_RESOURCE_STATUS&)",
          queries + "GetGlusterSnapVolumeName(const string&, const string&, std::string&)",
          queries + "GetGlusterfsContainerCommandPrefix(const string&, std::string&)"}));
}

TEST(LogContexts, OperationsKeepTheirTexts) {
  const std::string operations = "bool OpenShiftSDKWrapper::WQOpenShiftOperations::";
  EXPECT_EQ(
      Texts(OpenShiftSDKWrapper::OperationContexts::kAll),
      (std::vector<std::string>{
          operations + "CreateDeploymentConfig(const string&, "
                       "OpenShiftSDKWrapper::SDeploymentConfigInfoLib&)",
          operations + "UpdateDeploymentConfig(const string&, const string&, "
                       "OpenShiftSDKWrapper::SDeploymentConfigInfoLib&, "
                       "OpenShiftSDKWrapper::SDeploymentConfigInfoLib&)",
          operations + "ScaleDeploymentConfig(const string&, const string&, "
                       "OpenShiftSDKWrapper::SScaleInfoLib&)",
          operations + "DeleteDeploymentConfig(const string&, const string&, "
                       "OpenShiftSDKWrapper::SDeleteOptionsInfoLib&)",
          operations + "CreatePersistentVolumeClaim(const string&, "
                       "OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib&)",
          operations + "UpdatePersistentVolumeClaim(const string&, const string&, "
                       "OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib&)",
          operations + "DeletePersistentVolumeClaim(const string&, const string&, "
                       "OpenShiftSDKWrapper::SDeleteOptionsInfoLib&)",
          operations + "CreatePersistentVolume(OpenShiftSDKWrapper::SPersistentVolumeInfoLib&)",
          operations + "UpdatePersistentVolume(const string&, "
                       "OpenShiftSDKWrapper::SPersistentVolumeInfoLib&)",
          operations +
              "DeletePersistentVolume(const string&, OpenShiftSDKWrapper::SDeleteOptionsInfoLib&)",
          operations + "CreateEndpoints(const string&, OpenShiftSDKWrapper::SEndpointsInfoLib&)",
          operations + "UpdateEndpoints(const string&, const string&, "
                       "OpenShiftSDKWrapper::SEndpointsInfoLib&)",
          operations + "DeleteEndpoints(const string&, const string&, "
                       "OpenShiftSDKWrapper::SDeleteOptionsInfoLib&)",
          operations + "CreateOrUpdateSecret(const string&, const string&, const string&)",
          operations + "CreateOrUpdateConfigMap(const string&, const string&, const string&)",
          operations + "WaitForPendingPVC(const string&, const string&)",
          operations + "WaitForScaleReplica(const string&, const string&, "
                       "OpenShiftSDKWrapper::SScaleInfoLib&)",
          operations + "StartGlusterVolume(const string&, const string&)",
          operations + "StopGlusterVolume(const string&, const string&)",
          operations + "CreateGlusterVolumeSnapshot(const string&, const string&, const string&, "
                       "std::string&)",
          operations + "ActivateGlusterVolumeSnapshot(const string&, const string&)",
          operations + "DeactivateGlusterVolumeSnapshot(const string&, const string&)",
          operations + "DeleteGlusterVolumeSnapshot(const string&, const string&)",
          operations + "MountGlusterVolumeSnapshot(const string&, const string&, const string&, "
                       "const string&)",
          operations + "MountGlusterVolume(const string&, const string&, const string&)",
          operations + "UnMountGlusterVolume(const string&)",
          operations + "CleanGlusterVolume(const string&)",
          operations + "CreatePersistentVolumeSnapShot(const string&, const string&, const "
                       "string&, const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)",
          operations + "MountPersistentVolume(const string&, const string&, const string&)",
          operations +
              "DeletePersistentVolumeSnapShot(const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)",
          operations +
              "UnmountPersistentVolume(const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)",
          operations + "CleanPersistentVolume(const string&)",
          operations + "WriteToFile(const string&, const string&)"}));
}

TEST(LogContexts, FacadeKeepsItsTexts) {
  const std::string facade = "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::";
  EXPECT_EQ(
      Texts(OpenShiftSDKWrapper::WrapperContexts::kAll),
      (std::vector<std::string>{
          facade +
              "Connect(const string&, const string&, const string&, const "
              "std::map<std::__cxx11::basic_string<char>, OpenShiftSDKWrapper::SSshLoginCreds>&)",
          facade + "ExecuteCommandInDC(const string&, const string&, const string&, std::string&, "
                   "std::string&)",
          facade + "ExecuteAnnotationCommandInDC(const string&, const string&, const string&, "
                   "std::string&, std::string&)",
          facade + "InternalExecuteCommandInDC(const string&, const "
                   "OpenShiftSDKWrapper::SDeploymentConfigInfoLib&, const string&, std::string&, "
                   "std::string&)",
          facade + "PrepareVolume(const string&, const string&, const string&, const "
                   "OpenShiftSDKWrapper::SVolumeInfoLib&, bool, std::string&)",
          facade + "PrepareVolumeWhenReady(const string&, const string&, const string&, const "
                   "OpenShiftSDKWrapper::SVolumeInfoLib&, bool, std::string&)",
          facade +
              "RestoreDeployment(const string&, const string&, const string&, bool, const "
              "std::map<std::__cxx11::basic_string<char>, std::__cxx11::basic_string<char> >&)",
          facade + "RestoreSecrets(const string&, const string&)",
          facade + "RestoreConfigMaps(const string&, const string&)",
          facade + "CreatePVCSnapshot(const string&, const string&, const string&, const string&, "
                   "OpenShiftSDKWrapper::SVolumeInfoLib&)",
          facade + "CreateSecretVolumeSnapshot(const string&, const string&, const string&, const "
                   "string&)",
          facade + "SaveConfigMap(const string&, const string&, const string&, const string&)",
          facade +
              "CreateVolumeSnapshot(const string&, const OpenShiftSDKWrapper::SVolumeInfoLib&, "
              "const string&, const string&, std::vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)",
          facade + "CreateDeploymentSnapshot(const string&, const string&, const string&, const "
                   "string&, std::vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)",
          facade + "PrepareDeploymentSnapshot(const string&, const string&, "
                   "OpenShiftSDKWrapper::SDeploymentBackupPlan&)",
          facade + "CreateDeploymentSnapshots(const OpenShiftSDKWrapper::SDeploymentBackupPlan&, "
                   "const string&, std::vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)",
          facade + "MountDeploymentSnapshots(OpenShiftSDKWrapper::SDeploymentBackupPlan&, const "
                   "string&, std::vector<OpenShiftSDKWrapper::SVolumeInfoLib>&)",
          facade + "DeleteVolumeSnapshot(const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)",
          facade + "UnmountVolume(const string&, OpenShiftSDKWrapper::SVolumeInfoLib&)"}));
}

}  // namespace
