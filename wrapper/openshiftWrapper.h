#pragma once
// The library's entry object: it owns the connection, the codec, the query object and
// the operations object, and opens the session with the cluster.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "connection/openshiftConnection.h"
#include "host/debugLog.h"
#include "parser/deploymentConfigRecords.h"
#include "parser/openshiftParser.h"
#include "parser/storageRecords.h"
#include "queries/openshiftQueries.h"

namespace OpenShiftSDKWrapper {

class WQOpenShiftParser;
class WQOpenShiftQueries;
class WQOpenShiftOperations;

// What a two-phase deployment backup found before the application was quiesced: per
// GlusterFS-backed claim of the pod template (in pod-volume order) its claim, volume and the
// storage node its snapshot is made on, with that node's container prefix.
struct SClaimBackupPlan {
  SVolumeInfoLib podVolume;
  SPersistentVolumeClaimInfoLib claim;
  SPersistentVolumeInfoLib volume;
  std::string node;
  std::string containerPrefix;
  bool stopAfterSnapshot = false;  // the volume was stopped and is started for the snapshot
};
struct SDeploymentBackupPlan {
  std::string nameSpace;
  std::string dcName;
  SDeploymentConfigInfoLib dc;
  std::vector<SClaimBackupPlan> claims;
  bool reuseTurnedOn = false;  // connection reuse was off and is turned off again at the end
};

class WQOpenShiftSDKWrapper : public DebugLog {
 public:
  WQOpenShiftSDKWrapper();
  ~WQOpenShiftSDKWrapper();
  WQOpenShiftSDKWrapper(const WQOpenShiftSDKWrapper&) = delete;
  WQOpenShiftSDKWrapper& operator=(const WQOpenShiftSDKWrapper&) = delete;

  // A user name that begins with "@@wqdelim@@" names a service account (the rest of the
  // name) whose token is given as the password; any other name is a password login.
  bool Connect(const std::string& url, const std::string& user, const std::string& password,
               const std::map<std::string, SSshLoginCreds>& sshCredentials);
  bool ConnectServiceAccount(const std::string& url, const std::string& serviceAccount,
                             const std::string& token,
                             const std::map<std::string, SSshLoginCreds>& sshCredentials);

  // Members that hand their call unchanged to the query or operations object.
#define WQ_PASS_THROUGH(target, name, targetName, params, args) bool name params;
#include "wrapper/passThrough.def"

  // Runs `command` in every running pod of the deployment config (through the command-line
  // client), once all its replicas are ready. `out` and `err` become one entry per pod,
  // "<pod>:<text>\n", in pod-list order; on failure they are left as they were.
  bool ExecuteCommandInDC(const std::string& nameSpace, const std::string& dcName,
                          const std::string& command, std::string& out, std::string& err);
  // The same with the command stored in the deployment config's annotation `annotation`.
  bool ExecuteAnnotationCommandInDC(const std::string& nameSpace, const std::string& dcName,
                                    const std::string& annotation, std::string& out,
                                    std::string& err);
  bool InternalExecuteCommandInDC(const std::string& nameSpace, const SDeploymentConfigInfoLib& dc,
                                  const std::string& command, std::string& out, std::string& err);

  // Backup: each GlusterFS-backed claim is snapshotted and the snapshot mounted below the
  // backup directory (in a directory named after the claim); the definitions of the objects
  // are written beside the mounts as "pvc_", "secret_", "configmap_" and
  // "deploymentconfig_" files. Every mounted snapshot gets a volume record, which the caller
  // later hands to UnmountVolume and then DeleteVolumeSnapshot. Nothing is rolled back.
  bool CreatePVCSnapshot(const std::string& nameSpace, const std::string& claimName,
                         const std::string& snapshotName, const std::string& backupDir,
                         SVolumeInfoLib& record);
  bool CreateSecretVolumeSnapshot(const std::string& nameSpace, const std::string& secretName,
                                  const std::string& snapshotName, const std::string& backupDir);
  bool SaveConfigMap(const std::string& nameSpace, const std::string& configMapName,
                     const std::string& snapshotName, const std::string& backupDir);
  // Appends a record for a claim volume whose snapshot was mounted, even when a later step
  // failed, so that the caller can always release what was mounted.
  bool CreateVolumeSnapshot(const std::string& nameSpace, const SVolumeInfoLib& podVolume,
                            const std::string& snapshotName, const std::string& backupDir,
                            std::vector<SVolumeInfoLib>& records);
  bool CreateDeploymentSnapshot(const std::string& nameSpace, const std::string& dcName,
                                const std::string& snapshotName, const std::string& backupDir,
                                std::vector<SVolumeInfoLib>& records);
  // The same backup in three steps, so that the application needs to stay quiesced only
  // for the middle one. PrepareDeploymentSnapshot reads the deployment config, its claims,
  // volumes and endpoints, picks each volume's node and opens the SSH connections to them
  // (connection reuse is turned on, idle limit 30 s, unless it is on already).
  // CreateDeploymentSnapshots runs only one "gluster snapshot create" per claim, one after
  // the other (the second claim's snapshot is requested as "<snapshotName>_1", and so on, as
  // gluster stamps the names only to the second); `records` gets a record (name, pod
  // volume, persistent volume, snapshot name, snapshot state 0) for each snapshot made, also
  // when a later one fails. It deletes
  // nothing: on failure the caller deletes them with DeleteVolumeSnapshot.
  // MountDeploymentSnapshots takes those records, activates and mounts the snapshots and
  // writes the definitions, leaving what CreateDeploymentSnapshot leaves: complete records
  // with snapshot state 1 for the mounted ones. A snapshot whose activation or mount fails
  // is deleted again and its record dropped; the records of those not reached stay with
  // state 0 for the caller to delete. It ends connection reuse when the plan turned it on;
  // a caller that stops before it ends it with CloseNodeConnections and
  // SetNodeConnectionReuse(0) (or lets the destructor close the sessions).
  bool PrepareDeploymentSnapshot(const std::string& nameSpace, const std::string& dcName,
                                 SDeploymentBackupPlan& plan);
  bool CreateDeploymentSnapshots(const SDeploymentBackupPlan& plan, const std::string& snapshotName,
                                 std::vector<SVolumeInfoLib>& records);
  bool MountDeploymentSnapshots(SDeploymentBackupPlan& plan, const std::string& backupDir,
                                std::vector<SVolumeInfoLib>& records);
  bool DeleteVolumeSnapshot(const std::string& nameSpace, SVolumeInfoLib& record);
  bool UnmountVolume(const std::string& nameSpace, SVolumeInfoLib& record);

  // Restore: a claim for a saved volume record, reused when `reuse` is set and it is large
  // enough, else (re-)created, then mounted on `mountBase`/<claim> and emptied for the data;
  // `claimUsed` gets the claim's name. Blocks for minutes (waits for GlusterFS to settle).
  bool PrepareVolume(const std::string& nameSpace, const std::string& nameBase,
                     const std::string& mountBase, const SVolumeInfoLib& saved, bool reuse,
                     std::string& claimUsed);
  // The same, with waits that end when their condition holds instead of fixed sleeps:
  // after creating the claim, until it is Bound, its volume and endpoints can be read and
  // "gluster volume status" on one of the volume's nodes reports every brick online; after
  // the mount, until it answers (a GlusterFS mount at the directory in /proc/self/mountinfo
  // where a probe file can be created and removed). Each polls every second and gives up
  // after PrepareVolume's fixed wait (120 s, 60 s), then carries on as PrepareVolume does.
  // The log says how long each wait took. Keeps one SSH connection per node while it runs
  // (idle limit 30 s) unless connection reuse is on already.
  bool PrepareVolumeWhenReady(const std::string& nameSpace, const std::string& nameBase,
                              const std::string& mountBase, const SVolumeInfoLib& saved, bool reuse,
                              std::string& claimUsed);
  // The same, telling `observer` about each of its waits: `wait` is "volume" (the claim's
  // volume to be online) or "mount" (the mount to answer), `claim` the claim waited for; it
  // is called with `done` false when the wait begins, and with `done` true, whether the
  // condition held and the seconds the wait took when it ends. Called on the caller's thread.
  using ReadinessObserver = std::function<void(const std::string& wait, const std::string& claim,
                                               bool done, bool ready, double seconds)>;
  bool PrepareVolumeWhenReady(const std::string& nameSpace, const std::string& nameBase,
                              const std::string& mountBase, const SVolumeInfoLib& saved, bool reuse,
                              std::string& claimUsed, const ReadinessObserver& observer);
  // Connection reuse for this facade's commands on the storage nodes: `idleSeconds` > 0
  // keeps one SSH session per node, closed by the next command once idle that long; 0
  // returns to WQOSDK_SSH_IDLE_SECONDS. CloseNodeConnections closes the kept sessions now
  // (the destructor closes them too).
  void SetNodeConnectionReuse(long idleSeconds);
  void CloseNodeConnections();
  // Restores the saved secrets and config maps, then creates or updates the deployment
  // config saved in `restoreDir` under `dcName`, its claim names mapped through `claimNames`
  // unless `keepNames` is set.
  bool RestoreDeployment(const std::string& nameSpace, const std::string& dcName,
                         const std::string& restoreDir, bool keepNames,
                         const std::map<std::string, std::string>& claimNames);
  bool RestoreSecrets(const std::string& nameSpace, const std::string& restoreDir);
  bool RestoreConfigMaps(const std::string& nameSpace, const std::string& restoreDir);

  // Storage quantities with a binary suffix ("Ki", "Mi", "Gi", "Ti") to bytes and back.
  // The suffix is always taken to be the last two characters; an unknown suffix leaves
  // the number unscaled, and a text shorter than two characters gives 0.
  static uint64_t ConvertCapacityToBytes(const std::string& capacity);
  // Bytes in the largest binary unit that fits, rounded down ("0Ki" below 1 KiB).
  static std::string ConvertBytesToCapacity(uint64_t bytes);
  // A label map as the text of one JSON object (entries with empty values left out), and back
  // (appending to `labels`; false, with `labels` untouched, when the text is not an object).
  bool SerializeLabels(const SObjectInfoLib& labels, std::string& text);
  bool UnSerializeLabels(const std::string& text, SObjectInfoLib& labels);

 private:
  // The steps both deployment backups share: the definitions of a claim whose snapshot is
  // mounted (record fields, "pvc_" file), the secret of a pod volume, and, once the
  // deployment config was read, `claimStep` per claim volume, the config maps, the
  // "deploymentconfig_" file and the secrets and config maps of the environment.
  bool SaveClaimDefinition(const std::string& nameSpace, const std::string& claimName,
                           const SPersistentVolumeClaimInfoLib& claim, const std::string& backupDir,
                           SVolumeInfoLib& record);
  bool SaveSecretVolume(const std::string& nameSpace, const SVolumeInfoLib& podVolume,
                        const std::string& snapshotName, const std::string& backupDir);
  template <typename ClaimStep>
  bool SnapshotDeploymentSteps(const std::string& nameSpace, const std::string& dcName,
                               const SDeploymentConfigInfoLib& dc, const std::string& snapshotName,
                               const std::string& backupDir, ClaimStep claimStep);
  // The steps both prepare members share; `waitForReadiness` picks their waits, which are
  // told to `observer` when it is set.
  bool PrepareVolumeSteps(const char* context, const std::string& nameSpace,
                          const std::string& nameBase, const std::string& mountBase,
                          const SVolumeInfoLib& saved, bool reuse, std::string& claimUsed,
                          bool waitForReadiness, const ReadinessObserver* observer = nullptr);
  // The claim is Bound, its volume and endpoints can be read and one of its nodes reports
  // every brick of the volume online.
  bool ClaimVolumeIsReady(const char* context, const std::string& nameSpace,
                          const std::string& claimName);

  WQOpenShiftParser* parser;
  WQOpenShiftQueries* queries;
  WQOpenShiftOperations* operations;
  WQOpenShiftConnection* connection;
};

}  // namespace OpenShiftSDKWrapper
