// GlusterFS snapshot and mount lifecycle: single gluster commands on a storage node over
// SSH, local mount, umount and rm, and the multi-node sequences built from them.
#include <sys/stat.h>

#include <sstream>

#include "connection/openshiftConnection.h"
#include "host/luFile.h"
#include "host/process.h"
#include "operations/logContexts.h"
#include "operations/openshiftOperations.h"
#include "queries/glusterNodeSelector.h"
#include "queries/glusterOutput.h"
#include "queries/openshiftQueries.h"

namespace OpenShiftSDKWrapper {

namespace {

GlusterArgument Node(const std::string& node) { return {"node", node, GlusterWord::Address}; }
GlusterArgument Volume(const std::string& volume) { return {"volume", volume, GlusterWord::Name}; }
GlusterArgument Snapshot(const std::string& snapshot) {
  return {"snapshot", snapshot, GlusterWord::Name};
}

// True for a directory whose contents must never be removed wholesale: a relative path
// (resolved against wherever the agent happens to run) or the root itself ("/", "//.", ...).
bool IsUncleanableDirectory(const std::string& directory) {
  if (directory.empty() || directory[0] != '/') return true;
  std::istringstream parts(directory);
  for (std::string part; std::getline(parts, part, '/');) {
    if (!part.empty() && part != ".") return false;
  }
  return true;
}

// Starts a stopped volume for its snapshot; `startedHere` says whether it was started.
bool StartUnlessStarted(WQOpenShiftOperations& operations, const std::string& node,
                        const std::string& volume, GLUSTER_RESOURCE_STATUS status,
                        bool& startedHere) {
  startedHere = false;
  if (status == GLUSTER_RESOURCE_STARTED) return true;
  if (!operations.StartGlusterVolume(node, volume)) {
    operations.Error(OperationContexts::kCreateGlusterVolumeSnapshot,
                     "Failed to start gluster volume [%s]", volume.c_str());
    return false;
  }
  startedHere = true;
  return true;
}

}  // namespace

bool WQOpenShiftOperations::RunLocalCommand(const char* context, const std::string& command,
                                            const char* failure) {
  std::string out;
  std::string err;
  if (WqProcess::system(command, out, err, 0, false) != 0) {
    Error(context, failure, err.c_str(), out.c_str());
    return false;
  }
  return true;
}

bool WQOpenShiftOperations::MountPointIsDirectory(const char* context,
                                                  const std::string& directory) {
  struct stat status {};
  if (::lstat(directory.c_str(), &status) != 0) return true;  // the mount itself reports it
  if (S_ISDIR(status.st_mode)) return true;
  Error(context, "Refusing mount directory [%s]: it is %s, not a directory", directory.c_str(),
        S_ISLNK(status.st_mode) ? "a symbolic link" : "no directory");
  return false;
}

bool WQOpenShiftOperations::RunNodeCommand(const char* context,
                                           std::initializer_list<GlusterArgument> arguments,
                                           const std::string& node,
                                           const std::string& glusterCommand) {
  if (!GlusterArgumentsAreSafe(*this, context, arguments)) return false;
  std::string out;
  return queries->RunGlusterCommand(context, node, glusterCommand, out);
}

bool WQOpenShiftOperations::StartGlusterVolume(const std::string& node, const std::string& volume) {
  return RunNodeCommand(OperationContexts::kStartGlusterVolume, {Node(node), Volume(volume)}, node,
                        " gluster volume start " + volume);
}

bool WQOpenShiftOperations::StopGlusterVolume(const std::string& node, const std::string& volume) {
  return RunNodeCommand(OperationContexts::kStopGlusterVolume, {Node(node), Volume(volume)}, node,
                        " bash -c 'gluster volume stop " + volume + " <<< y'");
}

bool WQOpenShiftOperations::ActivateGlusterVolumeSnapshot(const std::string& node,
                                                          const std::string& snapshot) {
  return RunNodeCommand(OperationContexts::kActivateGlusterVolumeSnapshot,
                        {Node(node), Snapshot(snapshot)}, node,
                        " gluster snapshot activate " + snapshot);
}

bool WQOpenShiftOperations::DeactivateGlusterVolumeSnapshot(const std::string& node,
                                                            const std::string& snapshot) {
  return RunNodeCommand(OperationContexts::kDeactivateGlusterVolumeSnapshot,
                        {Node(node), Snapshot(snapshot)}, node,
                        " bash -c 'gluster snapshot deactivate " + snapshot + " <<< y'");
}

bool WQOpenShiftOperations::DeleteGlusterVolumeSnapshot(const std::string& node,
                                                        const std::string& snapshot) {
  return RunNodeCommand(OperationContexts::kDeleteGlusterVolumeSnapshot,
                        {Node(node), Snapshot(snapshot)}, node,
                        " bash -c 'gluster snapshot delete " + snapshot + " <<< y'");
}

bool WQOpenShiftOperations::CreateGlusterVolumeSnapshot(const std::string& node,
                                                        const std::string& volume,
                                                        const std::string& snapshot,
                                                        std::string& createdName) {
  if (!GlusterArgumentsAreSafe(*this, OperationContexts::kCreateGlusterVolumeSnapshot,
                               {Node(node), Volume(volume), Snapshot(snapshot)})) {
    return false;
  }
  std::string prefix;
  if (!queries->GetGlusterfsContainerCommandPrefix(node, prefix)) return false;
  GLUSTER_RESOURCE_STATUS status = GLUSTER_RESOURCE_STOPPED;
  if (!queries->GetGlusterVolumeStatus(node, volume, status)) {
    Error(OperationContexts::kCreateGlusterVolumeSnapshot,
          "Failed to get status of gluster volume [%s]", volume.c_str());
    return false;
  }
  bool startedHere = false;
  return StartUnlessStarted(*this, node, volume, status, startedHere) &&
         CreateSnapshotOnNode(node, prefix, volume, snapshot, startedHere, createdName);
}

bool WQOpenShiftOperations::CreateSnapshotOnNode(const std::string& node, const std::string& prefix,
                                                 const std::string& volume,
                                                 const std::string& snapshot, bool stopAfter,
                                                 std::string& createdName) {
  if (!GlusterArgumentsAreSafe(*this, OperationContexts::kCreateGlusterVolumeSnapshot,
                               {Node(node), Volume(volume), Snapshot(snapshot)})) {
    return false;
  }
  // Only the success line's fifth word: near its snapshot limit gluster adds a warning
  // line, whose fifth word would otherwise be glued to the name.
  std::string out;
  if (!queries->RunGlusterCommandWithPrefix(
          OperationContexts::kCreateGlusterVolumeSnapshot, node, prefix,
          " gluster snapshot create " + snapshot + " " + volume +
              " | awk '/^snapshot create: success/ {print $5}' | tr -d '\\n'",
          out)) {
    return false;
  }
  if (!ParseCreatedSnapshotName(out, createdName)) {
    Error(OperationContexts::kCreateGlusterVolumeSnapshot,
          "Refusing the snapshot name [%s] printed for gluster volume [%s]: it is not one plain "
          "word",
          out.c_str(), volume.c_str());
    return false;
  }
  if (stopAfter && !StopGlusterVolume(node, volume)) {
    // The caller gets no name for the snapshot made above: it must not outlive this call.
    Error(OperationContexts::kCreateGlusterVolumeSnapshot,
          "Failed to stop gluster volume [%s] - will delete snapshot [%s]", volume.c_str(),
          createdName.c_str());
    DeleteGlusterVolumeSnapshot(node, createdName);
    createdName.clear();
    return false;
  }
  return true;
}

bool WQOpenShiftOperations::MountGlusterVolumeSnapshot(const std::string& node,
                                                       const std::string& snapshot,
                                                       const std::string& volume,
                                                       const std::string& directory) {
  if (!GlusterArgumentsAreSafe(*this, OperationContexts::kMountGlusterVolumeSnapshot,
                               {Node(node), Snapshot(snapshot), Volume(volume)}) ||
      !MountDirectoryIsSafe(*this, OperationContexts::kMountGlusterVolumeSnapshot, directory)) {
    return false;
  }
  if (!MountPointIsDirectory(OperationContexts::kMountGlusterVolumeSnapshot, directory))
    return false;
  // Read-only, and nothing in a tenant's volume (set-user-ID programs, device nodes) gives
  // anything on this machine.
  std::ostringstream command;
  command << "mount -t glusterfs -o ro,nosuid,nodev " << node << ":/snaps/" << snapshot << "/"
          << volume << " \"" << directory << "\"";
  return RunLocalCommand(OperationContexts::kMountGlusterVolumeSnapshot, command.str(),
                         "Failed to mount snapshot volume err [%s] out [%s]");
}

bool WQOpenShiftOperations::MountGlusterVolume(const std::string& node, const std::string& volume,
                                               const std::string& directory) {
  if (!GlusterArgumentsAreSafe(*this, OperationContexts::kMountGlusterVolume,
                               {Node(node), Volume(volume)}) ||
      !MountDirectoryIsSafe(*this, OperationContexts::kMountGlusterVolume, directory)) {
    return false;
  }
  if (!MountPointIsDirectory(OperationContexts::kMountGlusterVolume, directory)) return false;
  std::ostringstream command;
  command << "mount -t glusterfs -o nosuid,nodev " << node << ":/" << volume << " \"" << directory
          << "\"";
  return RunLocalCommand(OperationContexts::kMountGlusterVolume, command.str(),
                         "Failed to mount volume err [%s] out [%s]");
}

bool WQOpenShiftOperations::UnMountGlusterVolume(const std::string& directory) {
  // umount follows a link: through one it would unmount whatever the link names.
  if (!MountDirectoryIsSafe(*this, OperationContexts::kUnMountGlusterVolume, directory) ||
      !MountPointIsDirectory(OperationContexts::kUnMountGlusterVolume, directory)) {
    return false;
  }
  std::ostringstream command;
  command << "umount \"" << directory << "\"";
  return RunLocalCommand(OperationContexts::kUnMountGlusterVolume, command.str(),
                         "Failed to unmount volume err [%s] out [%s]");
}

bool WQOpenShiftOperations::CleanGlusterVolume(const std::string& directory) {
  if (directory.empty()) {
    Error(OperationContexts::kCleanGlusterVolume, "Invalid Mount Path");
    return false;
  }
  if (IsUncleanableDirectory(directory)) {
    Error(OperationContexts::kCleanGlusterVolume,
          "Invalid Mount Path [%s]: the root directory and relative paths are never cleaned",
          directory.c_str());
    return false;
  }
  if (!MountDirectoryIsSafe(*this, OperationContexts::kCleanGlusterVolume, directory)) return false;
  std::ostringstream command;
  command << "rm -rf \"" << directory << "\"/*";
  return RunLocalCommand(OperationContexts::kCleanGlusterVolume, command.str(),
                         "Failed to clean volume err [%s] out [%s]");
}

bool WQOpenShiftOperations::FetchGlusterNodes(const char* context, const std::string& ns,
                                              const std::string& pvName,
                                              const std::string& shownName,
                                              SPersistentVolumeInfoLib& volume,
                                              std::vector<SEndpointAddressInfoLib>& nodes) {
  if (!queries->GetPersistentVolumeInfo(pvName, volume, 0)) {
    Error(context, "Failed to fetch persistent volume info for [%s/%s]", ns.c_str(),
          shownName.c_str());
    return false;
  }
  SEndpointsInfoLib endpoints;
  if (!queries->GetEndpointsInfo(ns, volume.spec.glusterfs.endpoints, endpoints, 0)) {
    Error(context, "Failed to fetch endpoints info for persistent volume [%s/%s]", ns.c_str(),
          shownName.c_str());
    return false;
  }
  if (endpoints.subsets.empty()) {
    Error(context, "endpoints info list is empty for persistent volume [%s/%s]", ns.c_str(),
          pvName.c_str());
    return false;
  }
  if (!GlusterArgumentsAreSafe(*this, context, {Volume(volume.spec.glusterfs.path)})) return false;
  nodes = endpoints.subsets.front().addresses;
  return true;
}

bool WQOpenShiftOperations::CreatePersistentVolumeSnapShot(const std::string& ns,
                                                           const std::string& pvName,
                                                           const std::string& snapshot,
                                                           const std::string& directory,
                                                           SVolumeInfoLib& record) {
  if (!GlusterArgumentsAreSafe(*this, OperationContexts::kCreatePersistentVolumeSnapShot,
                               {Snapshot(snapshot)}) ||
      !MountDirectoryIsSafe(*this, OperationContexts::kCreatePersistentVolumeSnapShot, directory)) {
    return false;
  }
  SPersistentVolumeInfoLib pv;
  std::vector<SEndpointAddressInfoLib> addresses;
  if (!FetchGlusterNodes(OperationContexts::kCreatePersistentVolumeSnapShot, ns, pvName, pvName, pv,
                         addresses)) {
    return false;
  }
  const std::string& volume = pv.spec.glusterfs.path;
  GlusterNodeSelector selector(addresses);
  std::string node;
  std::string created;
  for (;;) {
    if (!selector.SelectNextNode(node)) {
      Error(OperationContexts::kCreatePersistentVolumeSnapShot,
            "Failed to create snapshot for gluster volume [%s] from any of the nodes",
            volume.c_str());
      return false;
    }
    if (CreateGlusterVolumeSnapshot(node, volume, snapshot, created)) break;
    Error(OperationContexts::kCreatePersistentVolumeSnapShot,
          "Failed to create snapshot for gluster volume [%s] from node [%s]", volume.c_str(),
          node.c_str());
  }
  Error(OperationContexts::kCreatePersistentVolumeSnapShot,
        "Snapshot created for gluster volume [%s] from node [%s]", volume.c_str(), node.c_str());
  return ActivateAndMountSnapshot(ns, node, created, pv, directory, record);
}

bool WQOpenShiftOperations::SelectSnapshotNode(const std::string& ns, const std::string& pvName,
                                               SPersistentVolumeInfoLib& pv, std::string& node,
                                               std::string& prefix, bool& startedHere) {
  std::vector<SEndpointAddressInfoLib> addresses;
  if (!FetchGlusterNodes(OperationContexts::kCreatePersistentVolumeSnapShot, ns, pvName, pvName, pv,
                         addresses)) {
    return false;
  }
  const std::string& volume = pv.spec.glusterfs.path;
  GlusterNodeSelector selector(addresses);
  GLUSTER_RESOURCE_STATUS status = GLUSTER_RESOURCE_STOPPED;
  for (;;) {
    if (!selector.SelectNextNode(node)) {
      Error(OperationContexts::kCreatePersistentVolumeSnapShot,
            "Failed to prepare a snapshot of gluster volume [%s] on any of the nodes",
            volume.c_str());
      return false;
    }
    if (GlusterArgumentsAreSafe(*this, OperationContexts::kCreateGlusterVolumeSnapshot,
                                {Node(node), Volume(volume)}) &&
        queries->GetGlusterfsContainerCommandPrefix(node, prefix) &&
        queries->GetGlusterVolumeStatus(node, volume, status)) {
      break;
    }
    Error(OperationContexts::kCreatePersistentVolumeSnapShot,
          "Failed to get status of gluster volume [%s] from [%s]", volume.c_str(), node.c_str());
  }
  return StartUnlessStarted(*this, node, volume, status, startedHere);
}

bool WQOpenShiftOperations::ActivateAndMountSnapshot(const std::string& ns, const std::string& node,
                                                     const std::string& created,
                                                     const SPersistentVolumeInfoLib& pv,
                                                     const std::string& directory,
                                                     SVolumeInfoLib& record) {
  const std::string& volume = pv.spec.glusterfs.path;
  if (!ActivateGlusterVolumeSnapshot(node, created)) {
    Error(OperationContexts::kCreatePersistentVolumeSnapShot,
          "Failed to activate snapshot [%s] for gluster volume [%s] from node [%s] - will deelte "
          "snapshot",
          created.c_str(), volume.c_str(), node.c_str());
    DeleteGlusterVolumeSnapshot(node, created);
    return false;
  }
  const CLuError made = CLuDirectory::Create(directory, true);
  if (made.IsError()) {
    Error(OperationContexts::kCreatePersistentVolumeSnapShot,
          "Failed to create directory [%s] to mount volume, err [%s] - will deactivate and "
          "delete snapshot",
          directory.c_str(), made.AsString().c_str());
    DeactivateGlusterVolumeSnapshot(node, created);
    DeleteGlusterVolumeSnapshot(node, created);
    return false;
  }
  if (!MountGlusterVolumeSnapshot(node, created, volume, directory)) {
    Error(OperationContexts::kCreatePersistentVolumeSnapShot,
          "Failed to mount snapshot [%s] for gluster volume [%s/%s] - will deactivate and delete "
          "snapshot",
          created.c_str(), ns.c_str(), volume.c_str());
    DeactivateGlusterVolumeSnapshot(node, created);
    DeleteGlusterVolumeSnapshot(node, created);
    return false;
  }

  record.storageClassName = pv.spec.storageClassName;
  for (const SKeyValueInfoLib& entry : pv.spec.capacity.keyValues) {
    if (entry.key == "storage") {
      record.capacity = entry.value;
      break;
    }
  }
  record.snapshotState = 1;
  record.glusterfs.path = directory;
  record.glusterfs.snapshotName = created;
  return true;
}

bool WQOpenShiftOperations::MountPersistentVolume(const std::string& ns, const std::string& pvName,
                                                  const std::string& directory) {
  if (!MountDirectoryIsSafe(*this, OperationContexts::kMountPersistentVolume, directory))
    return false;
  SPersistentVolumeInfoLib pv;
  std::vector<SEndpointAddressInfoLib> addresses;
  if (!FetchGlusterNodes(OperationContexts::kMountPersistentVolume, ns, pvName, pvName, pv,
                         addresses))
    return false;
  const std::string& volume = pv.spec.glusterfs.path;
  GlusterNodeSelector selector(addresses);
  std::string node;
  GLUSTER_RESOURCE_STATUS status = GLUSTER_RESOURCE_STOPPED;
  for (;;) {
    if (!selector.SelectNextNode(node)) {
      Error(OperationContexts::kMountPersistentVolume,
            "Failed to get status of gluster volume [%s] from any of the nodes", volume.c_str());
      return false;
    }
    if (queries->GetGlusterVolumeStatus(node, volume, status)) break;
    Error(OperationContexts::kMountPersistentVolume,
          "Failed to get status of gluster volume [%s] from [%s]", volume.c_str(), node.c_str());
  }
  Error(OperationContexts::kMountPersistentVolume,
        "Status of  gluster volume [%s] fetched from node [%s]", volume.c_str(), node.c_str());
  if (status != GLUSTER_RESOURCE_STARTED && !StartGlusterVolume(node, volume)) {
    Error(OperationContexts::kMountPersistentVolume, "Failed to start gluster volume [%s]",
          volume.c_str());
    return false;
  }
  if (!MountGlusterVolume(node, volume, directory)) {
    Error(OperationContexts::kMountPersistentVolume,
          "Failed to mpount gluster volume [%s] from [%s]", volume.c_str(), node.c_str());
    return false;
  }
  return true;
}

bool WQOpenShiftOperations::DeletePersistentVolumeSnapShot(const std::string& ns,
                                                           SVolumeInfoLib& record) {
  const std::string& snapshot = record.glusterfs.snapshotName;
  if (!GlusterArgumentsAreSafe(*this, OperationContexts::kDeletePersistentVolumeSnapShot,
                               {Snapshot(snapshot)})) {
    return false;
  }
  SPersistentVolumeInfoLib pv;
  std::vector<SEndpointAddressInfoLib> addresses;
  if (!FetchGlusterNodes(OperationContexts::kDeletePersistentVolumeSnapShot, ns,
                         record.persistentVolumeName, record.name, pv, addresses)) {
    return false;
  }
  GlusterNodeSelector selector(addresses);
  std::string node;
  while (selector.SelectNextNode(node)) {
    if (DeleteGlusterVolumeSnapshot(node, snapshot)) {
      Error(OperationContexts::kDeletePersistentVolumeSnapShot,
            "Deleted  snapshot of persistent volume [%s] - gluster snap[%s] from node [%s]",
            record.name.c_str(), snapshot.c_str(), node.c_str());
      return true;
    }
    Error(OperationContexts::kDeletePersistentVolumeSnapShot,
          "Failed to delete snapshot of persistent volume [%s] - gluster snap[%s] from node [%s]",
          record.name.c_str(), snapshot.c_str(), node.c_str());
  }
  Error(OperationContexts::kDeletePersistentVolumeSnapShot,
        "Failed to delete snapshot of gluster volume [%s] from any of the nodes",
        record.name.c_str());
  return false;
}

bool WQOpenShiftOperations::UnmountPersistentVolume(const std::string& /*ns*/,
                                                    SVolumeInfoLib& record) {
  if (!UnMountGlusterVolume(record.glusterfs.path)) {
    Error(OperationContexts::kUnmountPersistentVolume, "Failed to unmount persistent volume [%s]",
          record.glusterfs.path.c_str());
    return false;
  }
  return true;
}

bool WQOpenShiftOperations::CleanPersistentVolume(const std::string& directory) {
  if (!CleanGlusterVolume(directory)) {
    Error(OperationContexts::kCleanPersistentVolume, "Failed to clean persistent volume [%s]",
          directory.c_str());
    return false;
  }
  return true;
}

}  // namespace OpenShiftSDKWrapper
