#include "queries/openshiftQueries.h"

#include "connection/openshiftConnection.h"
#include "host/strFormat.h"
#include "queries/logContexts.h"
#include "queries/resourcePaths.h"

// Error lines carry the query's full signature as their context.
namespace OpenShiftSDKWrapper {

namespace {

constexpr const char kProjects[] = "/oapi/v1/projects";
constexpr const char kStorageClasses[] = "/apis/storage.k8s.io/v1/storageclasses";
constexpr const char kAllDeploymentConfigs[] = "/oapi/v1/deploymentconfigs";

}  // namespace

WQOpenShiftQueries::WQOpenShiftQueries(WQOpenShiftConnection* connection, WQOpenShiftParser* parser)
    : DebugLog(nullptr), connection(connection), parser(parser) {}

WQOpenShiftQueries::~WQOpenShiftQueries() = default;

template <typename Out, typename Parse>
bool WQOpenShiftQueries::FetchAndParse(const char* context, const ResourcePath::Path& path,
                                       Out& out, Parse parse, const char* fetchFailed,
                                       const char* parseFailed) {
  if (path.Refused()) {
    Error(context, "%s", path.refusal.c_str());
    return false;
  }
  std::string reply;
  if (!connection->get(path.text, reply)) {
    Error(context, "%s", fetchFailed);
    return false;
  }
  if (!(parser->*parse)(reply, out)) {
    Error(context, "%s", parseFailed);
    return false;
  }
  return true;
}

bool WQOpenShiftQueries::FetchText(const char* context, const ResourcePath::Path& path,
                                   std::string& json, const std::string& fetchFailed) {
  if (path.Refused()) {
    Error(context, "%s", path.refusal.c_str());
    return false;
  }
  if (connection->get(path.text, json)) return true;
  Error(context, "%s", fetchFailed.c_str());
  return false;
}

bool WQOpenShiftQueries::GetProjectInfoList(std::vector<SProjectInfoLib>& projects, UINT64) {
  return FetchAndParse(QueryContexts::kGetProjectInfoList, ResourcePath::Path{kProjects, {}},
                       projects, &WQOpenShiftParser::ParseProjectList, "Failed to get project list",
                       "Failed to parse project list");
}

bool WQOpenShiftQueries::GetStorageClassList(std::vector<SStorageClassInfoLib>& storageClasses,
                                             UINT64) {
  return FetchAndParse(QueryContexts::kGetStorageClassList, ResourcePath::Path{kStorageClasses, {}},
                       storageClasses, &WQOpenShiftParser::ParseStorageClassList,
                       "Failed to get storage class list", "Failed to parse storage class list");
}

bool WQOpenShiftQueries::GetDeploymentConfigList(
    const std::string& ns, std::vector<SDeploymentConfigInfoLib>& deploymentConfigs, UINT64) {
  const ResourcePath::Path path =
      ns.empty() ? ResourcePath::Path{kAllDeploymentConfigs, {}}
                 : ResourcePath::Collection(ResourcePath::kOapiNamespaces, ns, "deploymentconfigs");
  return FetchAndParse(QueryContexts::kGetDeploymentConfigList, path, deploymentConfigs,
                       &WQOpenShiftParser::ParseDeploymentConfigList,
                       "Failed to get deploymentconfig list",
                       "Failed to parse deploymentconfig list");
}

bool WQOpenShiftQueries::GetDeploymentConfig(const std::string& ns, const std::string& name,
                                             std::string& json, UINT64) {
  return FetchText(
      QueryContexts::kGetDeploymentConfigText,
      ResourcePath::Object(ResourcePath::kOapiNamespaces, ns, "deploymentconfigs", name), json,
      WqFormat("Failed to get DeploymentConfig [%s] in [%s]", name.c_str(), ns.c_str()));
}

bool WQOpenShiftQueries::GetDeploymentConfig(const std::string& ns, const std::string& name,
                                             SDeploymentConfigInfoLib& deploymentConfig,
                                             UINT64 reserved) {
  std::string json;
  // The text form has logged its own failure.
  if (!GetDeploymentConfig(ns, name, json, reserved)) return false;
  if (parser->ParseDeploymentConfig(json, deploymentConfig)) return true;
  Error(QueryContexts::kGetDeploymentConfigRecord, "Failed to parse deploymentconfig");
  return false;
}

bool WQOpenShiftQueries::GetPersistentVolumeClaimInfoList(
    const std::string& ns, std::vector<SPersistentVolumeClaimInfoLib>& claims, UINT64) {
  return FetchAndParse(
      QueryContexts::kGetPersistentVolumeClaimInfoList,
      ResourcePath::Collection(ResourcePath::kCoreNamespaces, ns, "persistentvolumeclaims"), claims,
      &WQOpenShiftParser::ParsePersistentVolumeClaimList,
      "Failed to get PersistentVolumeClaim list", "Failed to parse PersistentVolumeClaim list");
}

bool WQOpenShiftQueries::GetPodInfoList(const std::string& ns, std::vector<SPodInfoLib>& pods,
                                        UINT64) {
  return FetchAndParse(QueryContexts::kGetPodInfoList,
                       ResourcePath::Collection(ResourcePath::kCoreNamespaces, ns, "pods"), pods,
                       &WQOpenShiftParser::ParsePodList, "Failed to get Pod list",
                       "Failed to parse Pod list");
}

bool WQOpenShiftQueries::GetPodInfo(const std::string& ns, const std::string& name,
                                    SPodInfoLib& pod, UINT64) {
  return FetchAndParse(QueryContexts::kGetPodInfo,
                       ResourcePath::Object(ResourcePath::kCoreNamespaces, ns, "pods", name), pod,
                       &WQOpenShiftParser::ParsePod, "Failed to get the Pod",
                       "Failed to parse the Pod");
}

bool WQOpenShiftQueries::GetPersistentVolumeClaimInfo(const std::string& ns,
                                                      const std::string& name, std::string& json,
                                                      UINT64) {
  return FetchText(
      QueryContexts::kGetPersistentVolumeClaimInfoText,
      ResourcePath::Object(ResourcePath::kCoreNamespaces, ns, "persistentvolumeclaims", name), json,
      "Failed to get PersistentVolumeClaim");
}

bool WQOpenShiftQueries::GetPersistentVolumeClaimInfo(const std::string& ns,
                                                      const std::string& name,
                                                      SPersistentVolumeClaimInfoLib& claim,
                                                      UINT64 reserved) {
  static const char* const context = QueryContexts::kGetPersistentVolumeClaimInfoRecord;
  std::string json;
  // The text form has logged its own failure.
  if (!GetPersistentVolumeClaimInfo(ns, name, json, reserved)) return false;
  Debug(context, "resp : [%s]", json.c_str());
  if (parser->ParsePersistentVolumeClaim(json, claim)) return true;
  Error(context, "Failed to parse PersistentVolumeClaim");
  return false;
}

bool WQOpenShiftQueries::GetPersistentVolumeInfo(const std::string& name,
                                                 SPersistentVolumeInfoLib& volume, UINT64) {
  return FetchAndParse(QueryContexts::kGetPersistentVolumeInfo,
                       ResourcePath::ClusterObject(ResourcePath::kPersistentVolumes, name), volume,
                       &WQOpenShiftParser::ParsePersistentVolume, "Failed to get PersistentVolume",
                       "Failed to parse PersistentVolume");
}

bool WQOpenShiftQueries::GetEndpointsInfo(const std::string& ns, const std::string& name,
                                          SEndpointsInfoLib& endpoints, UINT64) {
  return FetchAndParse(QueryContexts::kGetEndpointsInfo,
                       ResourcePath::Object(ResourcePath::kCoreNamespaces, ns, "endpoints", name),
                       endpoints, &WQOpenShiftParser::ParseEndpoints, "Failed to get endpoints",
                       "Failed to parse endpoints");
}

bool WQOpenShiftQueries::GetSecretInfo(const std::string& ns, const std::string& name,
                                       std::string& json, UINT64) {
  return FetchText(QueryContexts::kGetSecretInfo,
                   ResourcePath::Object(ResourcePath::kCoreNamespaces, ns, "secrets", name), json,
                   WqFormat("Failed to get Secret [%s] in [%s]", name.c_str(), ns.c_str()));
}

bool WQOpenShiftQueries::GetConfigMapInfo(const std::string& ns, const std::string& name,
                                          std::string& json, UINT64) {
  return FetchText(QueryContexts::kGetConfigMapInfo,
                   ResourcePath::Object(ResourcePath::kCoreNamespaces, ns, "configmaps", name),
                   json,
                   WqFormat("Failed to get ConfigMap [%s] in [%s]", name.c_str(), ns.c_str()));
}

}  // namespace OpenShiftSDKWrapper
