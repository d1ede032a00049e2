#pragma once
// Write side of the library: REST mutations with their polling waits, export of
// object definitions to backup files, and the GlusterFS snapshot and mount
// lifecycle.
#include <string>

#include "host/debugLog.h"
#include "parser/openshiftParser.h"

namespace OpenShiftSDKWrapper {

class WQOpenShiftConnection;
class WQOpenShiftQueries;

class WQOpenShiftOperations : public DebugLog {
 public:
  // None of the pointers is owned: the facade creates the three objects before
  // this one and deletes them after it.
  WQOpenShiftOperations(WQOpenShiftConnection* connection, WQOpenShiftParser* parser,
                        WQOpenShiftQueries* queries);
  ~WQOpenShiftOperations();
  WQOpenShiftOperations(const WQOpenShiftOperations&) = delete;
  WQOpenShiftOperations& operator=(const WQOpenShiftOperations&) = delete;

  // REST mutations. A record given to a create or update comes back prepared:
  // the fields the server sets are cleared. Nothing already sent is undone on a
  // later failure.
  bool CreateDeploymentConfig(const std::string& ns, SDeploymentConfigInfoLib& deploymentConfig);
  // `current` is the definition now in the cluster; only its resourceVersion is used.
  bool UpdateDeploymentConfig(const std::string& ns, const std::string& name,
                              SDeploymentConfigInfoLib& deploymentConfig,
                              SDeploymentConfigInfoLib& current);
  // Returns once the wanted replicas are available (see WaitForScaleReplica).
  bool ScaleDeploymentConfig(const std::string& ns, const std::string& name, SScaleInfoLib& scale);
  bool DeleteDeploymentConfig(const std::string& ns, const std::string& name,
                              SDeleteOptionsInfoLib& options);
  // Returns once the new claim has left the phase "Pending" (see WaitForPendingPVC).
  bool CreatePersistentVolumeClaim(const std::string& ns, SPersistentVolumeClaimInfoLib& claim);
  bool UpdatePersistentVolumeClaim(const std::string& ns, const std::string& name,
                                   SPersistentVolumeClaimInfoLib& claim);
  bool DeletePersistentVolumeClaim(const std::string& ns, const std::string& name,
                                   SDeleteOptionsInfoLib& options);
  bool CreatePersistentVolume(SPersistentVolumeInfoLib& volume);
  bool UpdatePersistentVolume(const std::string& name, SPersistentVolumeInfoLib& volume);
  bool DeletePersistentVolume(const std::string& name, SDeleteOptionsInfoLib& options);
  bool CreateEndpoints(const std::string& ns, SEndpointsInfoLib& endpoints);
  bool UpdateEndpoints(const std::string& ns, const std::string& name, SEndpointsInfoLib& endpoints);
  bool DeleteEndpoints(const std::string& ns, const std::string& name,
                       SDeleteOptionsInfoLib& options);
  // From backup text: PUT when the object exists, POST to the collection otherwise.
  bool CreateOrUpdateSecret(const std::string& ns, const std::string& name,
                            const std::string& secretJson);
  bool CreateOrUpdateConfigMap(const std::string& ns, const std::string& name,
                               const std::string& configMapJson);

  // Polling waits, one read every 10 s, at most WQOSDK_WAIT_POLLS reads (default 60).
  // False when a read fails or the limit is reached; the time-out is logged here,
  // the caller adds its own line.
  bool WaitForPendingPVC(const std::string& ns, const std::string& name);
  bool WaitForScaleReplica(const std::string& ns, const std::string& name, SScaleInfoLib& scale);

  // Export files: the object's JSON exactly as the cluster returned it. A missing
  // object writes nothing, so an older file of that name survives.
  bool WriteToFile(const std::string& text, const std::string& path);
  bool WriteDeploymentConfigInfoToFile(const std::string& ns, const std::string& name,
                                       const std::string& path);
  bool WritePVCInfoToFile(const std::string& ns, const std::string& name, const std::string& path);
  bool WriteSecretInfoToFile(const std::string& ns, const std::string& name,
                             const std::string& path);
  bool WriteConfigMapToFile(const std::string& ns, const std::string& name,
                            const std::string& path);

  // GlusterFS snapshot and mount lifecycle (glusterOperations.cpp).

 private:
  struct WriteSteps;
  struct CreateOrUpdateSteps;

  // Prepare (when the write has that step), serialize, then send the body to `path`.
  template <typename Prepare, typename Serialize, typename Send>
  bool SendRecord(const WriteSteps& steps, Prepare prepare, Serialize serialize, Send send,
                  const std::string& path);
  bool SendDeleteOptions(const char* context, const char* requestFailed,
                         SDeleteOptionsInfoLib& options, const std::string& path);
  bool CreateOrUpdate(const CreateOrUpdateSteps& steps, const std::string& ns,
                      const std::string& name, const std::string& json);
  // Runs `poll` until it reports done or failure, sleeping between reads; `what`
  // names the awaited state in the time-out line.
  template <typename Poll>
  bool PollUntil(const char* context, const std::string& what, Poll poll);

  WQOpenShiftConnection* connection;
  WQOpenShiftParser* parser;
  WQOpenShiftQueries* queries;
};

}  // namespace OpenShiftSDKWrapper
