#pragma once
// Read side of the library: each query GETs one resource path and either parses
// the reply into the caller's record or list, or hands back the reply text.
#include <cstdint>
#include <string>
#include <vector>

#include "host/debugLog.h"
#include "parser/openshiftParser.h"

namespace OpenShiftSDKWrapper {

// Type of the trailing argument of every query. It is accepted and passed on
// but never read, so callers may give any value.
typedef uint64_t UINT64;

class WQOpenShiftConnection;

class WQOpenShiftQueries : public DebugLog {
 public:
  // Neither pointer is owned: the facade creates both objects before this one
  // and deletes them after it.
  WQOpenShiftQueries(WQOpenShiftConnection* connection, WQOpenShiftParser* parser);
  ~WQOpenShiftQueries();
  WQOpenShiftQueries(const WQOpenShiftQueries&) = delete;
  WQOpenShiftQueries& operator=(const WQOpenShiftQueries&) = delete;

  // Lists append to the caller's vector; on a failed request every output is
  // left as it was.
  bool GetProjectInfoList(std::vector<SProjectInfoLib>& projects, UINT64 reserved);
  bool GetStorageClassList(std::vector<SStorageClassInfoLib>& storageClasses, UINT64 reserved);
  // An empty namespace lists the deployment configs of every namespace.
  bool GetDeploymentConfigList(const std::string& ns,
                               std::vector<SDeploymentConfigInfoLib>& deploymentConfigs,
                               UINT64 reserved);
  bool GetDeploymentConfig(const std::string& ns, const std::string& name,
                           SDeploymentConfigInfoLib& deploymentConfig, UINT64 reserved);
  bool GetPersistentVolumeClaimInfoList(const std::string& ns,
                                        std::vector<SPersistentVolumeClaimInfoLib>& claims,
                                        UINT64 reserved);
  bool GetPodInfoList(const std::string& ns, std::vector<SPodInfoLib>& pods, UINT64 reserved);
  bool GetPodInfo(const std::string& ns, const std::string& name, SPodInfoLib& pod,
                  UINT64 reserved);
  bool GetPersistentVolumeClaimInfo(const std::string& ns, const std::string& name,
                                    SPersistentVolumeClaimInfoLib& claim, UINT64 reserved);
  // Persistent volumes are cluster-wide: no namespace.
  bool GetPersistentVolumeInfo(const std::string& name, SPersistentVolumeInfoLib& volume,
                               UINT64 reserved);
  bool GetEndpointsInfo(const std::string& ns, const std::string& name,
                        SEndpointsInfoLib& endpoints, UINT64 reserved);

  // Text forms: `json` receives the reply exactly as the cluster sent it, which is
  // what backups store. On a failed request it holds the failure body instead.
  bool GetDeploymentConfig(const std::string& ns, const std::string& name, std::string& json,
                           UINT64 reserved);
  bool GetPersistentVolumeClaimInfo(const std::string& ns, const std::string& name,
                                    std::string& json, UINT64 reserved);
  bool GetSecretInfo(const std::string& ns, const std::string& name, std::string& json,
                     UINT64 reserved);
  bool GetConfigMapInfo(const std::string& ns, const std::string& name, std::string& json,
                        UINT64 reserved);

 private:
  // GET `path` and run `parse` on the reply into `out`, logging `fetchFailed` or
  // `parseFailed` under `context` for the step that fails.
  template <typename Out, typename Parse>
  bool FetchAndParse(const char* context, const std::string& path, Out& out, Parse parse,
                     const char* fetchFailed, const char* parseFailed);
  // GET `path` into `json`, logging `fetchFailed` under `context` on failure.
  bool FetchText(const char* context, const std::string& path, std::string& json,
                 const std::string& fetchFailed);

  WQOpenShiftConnection* connection;
  WQOpenShiftParser* parser;
};

}  // namespace OpenShiftSDKWrapper
