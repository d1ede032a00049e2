#pragma once
// Read side of the library: each query GETs one resource path and either parses
// the reply into the caller's record or list, or hands back the reply text.
#include <cstdint>
#include <string>
#include <vector>

#include "host/debugLog.h"
#include "parser/openshiftParser.h"
#include "queries/glusterOutput.h"

namespace OpenShiftSDKWrapper {

// Type of the trailing argument of every query. It is accepted and passed on
// but never read, so callers may give any value.
typedef uint64_t UINT64;

class WQOpenShiftConnection;
namespace ResourcePath {
struct Path;
}

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

  // GlusterFS queries, each run with the gluster command on the storage node `host` over
  // SSH (credentials registered under that name), inside the node's GlusterFS container
  // when there is one. Node, volume and snapshot names that are not plain words are
  // refused before any command runs.
  bool GetGlusterVolumeStatus(const std::string& host, const std::string& volume,
                              GLUSTER_RESOURCE_STATUS& status);
  // Appends the volume's snapshot names; "No snapshots present" appends none.
  bool GetGlusterVolumeSnapshotList(const std::string& host, const std::string& volume,
                                    std::vector<std::string>& snapshots);
  bool GetGlusterVolumeSnapshotStatus(const std::string& host, const std::string& snapshot,
                                      GLUSTER_RESOURCE_STATUS& status);
  bool GetGlusterSnapVolumeName(const std::string& host, const std::string& snapshot,
                                std::string& snapVolumeName);
  // "docker exec <id> " when the node runs GlusterFS in a container, else empty (also
  // true). False only when the container id found is not a plain word.
  bool GetGlusterfsContainerCommandPrefix(const std::string& host, std::string& prefix);
  // Runs the node's prefix followed by `glusterCommand` (which begins with a blank) on
  // `host`; logs "Failed to execute command [...]" under `context` when it fails. `out`
  // receives the command's standard output.
  bool RunGlusterCommand(const char* context, const std::string& host,
                         const std::string& glusterCommand, std::string& out);
  // The same with a prefix the caller already holds.
  bool RunGlusterCommandWithPrefix(const char* context, const std::string& host,
                                   const std::string& prefix, const std::string& glusterCommand,
                                   std::string& out);

 private:
  // GET `path` and run `parse` on the reply into `out`, logging `fetchFailed` or
  // `parseFailed` under `context` for the step that fails. A refused path is logged and
  // nothing is sent.
  template <typename Out, typename Parse>
  bool FetchAndParse(const char* context, const ResourcePath::Path& path, Out& out, Parse parse,
                     const char* fetchFailed, const char* parseFailed);
  // GET `path` into `json`, logging `fetchFailed` under `context` on failure.
  bool FetchText(const char* context, const ResourcePath::Path& path, std::string& json,
                 const std::string& fetchFailed);
  // Runs a gluster status command and reads its status word, logging "Unknown status".
  bool ReadGlusterStatus(const char* context, const std::string& host,
                         const std::string& glusterCommand, GLUSTER_RESOURCE_STATUS& status);

  WQOpenShiftConnection* connection;
  WQOpenShiftParser* parser;
};

}  // namespace OpenShiftSDKWrapper
