#pragma once
// Write side of the library: REST mutations with their polling waits, export of
// object definitions to backup files, and the GlusterFS snapshot and mount
// lifecycle.
#include <initializer_list>
#include <string>
#include <vector>

#include "host/debugLog.h"
#include "parser/openshiftParser.h"
#include "queries/glusterOutput.h"

namespace OpenShiftSDKWrapper {

class WQOpenShiftConnection;
class WQOpenShiftQueries;
namespace ResourcePath {
struct Path;
}

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
  bool UpdateEndpoints(const std::string& ns, const std::string& name,
                       SEndpointsInfoLib& endpoints);
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

  // GlusterFS snapshot and mount lifecycle (glusterOperations.cpp). Node, volume and
  // snapshot names that are not plain words, and mount directories holding '"', '$', '`'
  // or '\', are refused before any command runs.
  //
  // Snapshots the GlusterFS volume of the persistent volume on the first of its endpoint
  // nodes (tried in random order) that succeeds, activates the snapshot and mounts it on
  // `directory`; fills the record's storage class, capacity, snapshot state, mount path
  // and snapshot name. A failed activation deletes the snapshot again, a failed mount
  // deactivates and deletes it.
  bool CreatePersistentVolumeSnapShot(const std::string& ns, const std::string& pvName,
                                      const std::string& snapshot, const std::string& directory,
                                      SVolumeInfoLib& record);
  // Starts the live volume if needed and mounts it on `directory` (which must exist).
  bool MountPersistentVolume(const std::string& ns, const std::string& pvName,
                             const std::string& directory);
  bool DeletePersistentVolumeSnapShot(const std::string& ns, SVolumeInfoLib& record);
  bool UnmountPersistentVolume(const std::string& ns, SVolumeInfoLib& record);
  bool CleanPersistentVolume(const std::string& directory);

  // Single gluster commands on one storage node.
  bool StartGlusterVolume(const std::string& node, const std::string& volume);
  bool StopGlusterVolume(const std::string& node, const std::string& volume);
  // Starts a stopped volume for the snapshot and stops it again; `createdName` gets the
  // name gluster gave the snapshot (the requested name with a time stamp).
  bool CreateGlusterVolumeSnapshot(const std::string& node, const std::string& volume,
                                   const std::string& snapshot, std::string& createdName);
  // Only the "snapshot create" command, with a prefix the caller holds; stops the volume
  // afterwards when `stopAfter` is set (and deletes the snapshot when that fails).
  bool CreateSnapshotOnNode(const std::string& node, const std::string& prefix,
                            const std::string& volume, const std::string& snapshot, bool stopAfter,
                            std::string& createdName);
  // The steps of CreatePersistentVolumeSnapShot around the snapshot command. The first
  // reads the persistent volume and picks the first of its nodes (random order) whose
  // container prefix and volume status can be read; a stopped volume is started there
  // (`startedHere`). The second activates a created snapshot and mounts it on `directory`
  // (made when missing) and fills the record as CreatePersistentVolumeSnapShot does; a
  // failed activation deletes the snapshot, a failed mount deactivates and deletes it.
  bool SelectSnapshotNode(const std::string& ns, const std::string& pvName,
                          SPersistentVolumeInfoLib& pv, std::string& node, std::string& prefix,
                          bool& startedHere);
  bool ActivateAndMountSnapshot(const std::string& ns, const std::string& node,
                                const std::string& created, const SPersistentVolumeInfoLib& pv,
                                const std::string& directory, SVolumeInfoLib& record);
  bool ActivateGlusterVolumeSnapshot(const std::string& node, const std::string& snapshot);
  bool DeactivateGlusterVolumeSnapshot(const std::string& node, const std::string& snapshot);
  bool DeleteGlusterVolumeSnapshot(const std::string& node, const std::string& snapshot);

  // Local commands (mount, umount, rm) through the process runner.
  bool MountGlusterVolumeSnapshot(const std::string& node, const std::string& snapshot,
                                  const std::string& volume, const std::string& directory);
  bool MountGlusterVolume(const std::string& node, const std::string& volume,
                          const std::string& directory);
  bool UnMountGlusterVolume(const std::string& directory);
  // Removes the entries of `directory` (not those beginning with a dot); refuses an empty
  // name, a relative path and the root directory.
  bool CleanGlusterVolume(const std::string& directory);

 private:
  struct WriteSteps;
  struct CreateOrUpdateSteps;

  // Prepare (when the write has that step), serialize, then send the body to `path`; a
  // refused path is logged and nothing is sent.
  template <typename Prepare, typename Serialize, typename Send>
  bool SendRecord(const WriteSteps& steps, Prepare prepare, Serialize serialize, Send send,
                  const ResourcePath::Path& path);
  bool SendDeleteOptions(const char* context, const char* requestFailed,
                         SDeleteOptionsInfoLib& options, const ResourcePath::Path& path);
  bool CreateOrUpdate(const CreateOrUpdateSteps& steps, const std::string& ns,
                      const std::string& name, const std::string& json);
  // Runs `poll` until it reports done or failure, sleeping between reads; `what`
  // names the awaited state in the time-out line.
  template <typename Poll>
  bool PollUntil(const char* context, const std::string& what, Poll poll);

  // The GlusterFS volume's persistent volume record and the addresses of the first subset
  // of its endpoints; `shownName` is the name the first two failure lines show.
  bool FetchGlusterNodes(const char* context, const std::string& ns, const std::string& pvName,
                         const std::string& shownName, SPersistentVolumeInfoLib& volume,
                         std::vector<SEndpointAddressInfoLib>& nodes);
  // Checks `arguments`, then runs the node's prefix and `glusterCommand` on `node`.
  bool RunNodeCommand(const char* context, std::initializer_list<GlusterArgument> arguments,
                      const std::string& node, const std::string& glusterCommand);
  // Runs a local command line; on a non-zero result logs `failure` with err and out.
  bool RunLocalCommand(const char* context, const std::string& command, const char* failure);
  // False, with an error line, when `directory` exists and is a symbolic link or anything
  // else than a directory: a mount there would cover whatever the link names.
  bool MountPointIsDirectory(const char* context, const std::string& directory);

  WQOpenShiftConnection* connection;
  WQOpenShiftParser* parser;
  WQOpenShiftQueries* queries;
};

}  // namespace OpenShiftSDKWrapper
