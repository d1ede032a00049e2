// GlusterFS status queries, run with the gluster command on a storage node over SSH.
#include "connection/openshiftConnection.h"
#include "queries/glusterOutput.h"
#include "queries/logContexts.h"
#include "queries/openshiftQueries.h"

namespace OpenShiftSDKWrapper {

namespace {

const char* const kContainerIdCommand =
    "docker ps | grep k8s_glusterfs_glusterfs-storage | awk '{print $1}' | tr -d '\\n'";

}  // namespace

bool WQOpenShiftQueries::GetGlusterfsContainerCommandPrefix(const std::string& host,
                                                            std::string& prefix) {
  prefix.clear();
  // With a kept connection to the node the container is looked up once per connection.
  if (connection->keptContainerPrefix(host, prefix)) return true;
  std::string out;
  std::string err;
  if (!connection->executeRemoteCommand(host, kContainerIdCommand, out, err)) {
    Error(QueryContexts::kGetGlusterfsContainerCommandPrefix,
          "Failed to get execute command [%s] - it could be that gluster services are not "
          "containerized",
          kContainerIdCommand);
    return true;
  }
  if (!ContainerCommandPrefix(out, prefix)) {
    Error(QueryContexts::kGetGlusterfsContainerCommandPrefix,
          "Refusing the container id [%s] found on [%s]: it is not one plain word, so no "
          "command is run in it",
          out.c_str(), host.c_str());
    return false;
  }
  connection->keepContainerPrefix(host, prefix);
  return true;
}

bool WQOpenShiftQueries::RunGlusterCommand(const char* context, const std::string& host,
                                           const std::string& glusterCommand, std::string& out) {
  std::string prefix;
  if (!GetGlusterfsContainerCommandPrefix(host, prefix)) return false;
  return RunGlusterCommandWithPrefix(context, host, prefix, glusterCommand, out);
}

bool WQOpenShiftQueries::RunGlusterCommandWithPrefix(const char* context, const std::string& host,
                                                     const std::string& prefix,
                                                     const std::string& glusterCommand,
                                                     std::string& out) {
  const std::string command = prefix + glusterCommand;
  std::string err;
  if (!connection->executeRemoteCommand(host, command, out, err)) {
    Error(context, "Failed to execute command [%s]", command.c_str());
    // A remembered container that has gone is looked up again for the next command; this
    // one is not run again.
    if (!prefix.empty() && connection->forgetGoneContainerPrefix(host, err)) {
      std::string fresh;
      GetGlusterfsContainerCommandPrefix(host, fresh);
    }
    return false;
  }
  return true;
}

bool WQOpenShiftQueries::ReadGlusterStatus(const char* context, const std::string& host,
                                           const std::string& glusterCommand,
                                           GLUSTER_RESOURCE_STATUS& status) {
  std::string out;
  if (!RunGlusterCommand(context, host, glusterCommand, out)) return false;
  if (!ParseGlusterStatus(out, status)) {
    Error(context, "Unknown status [%s]", out.c_str());
    return false;
  }
  return true;
}

bool WQOpenShiftQueries::GetGlusterVolumeStatus(const std::string& host, const std::string& volume,
                                                GLUSTER_RESOURCE_STATUS& status) {
  if (!GlusterArgumentsAreSafe(
          *this, QueryContexts::kGetGlusterVolumeStatus,
          {{"node", host, GlusterWord::Address}, {"volume", volume, GlusterWord::Name}})) {
    return false;
  }
  return ReadGlusterStatus(QueryContexts::kGetGlusterVolumeStatus, host,
                           " gluster volume info " + volume + " | grep Status", status);
}

bool WQOpenShiftQueries::GetGlusterVolumeSnapshotStatus(const std::string& host,
                                                        const std::string& snapshot,
                                                        GLUSTER_RESOURCE_STATUS& status) {
  if (!GlusterArgumentsAreSafe(
          *this, QueryContexts::kGetGlusterVolumeSnapshotStatus,
          {{"node", host, GlusterWord::Address}, {"snapshot", snapshot, GlusterWord::Name}})) {
    return false;
  }
  return ReadGlusterStatus(QueryContexts::kGetGlusterVolumeSnapshotStatus, host,
                           " gluster snapshot info " + snapshot + " | grep Status", status);
}

bool WQOpenShiftQueries::GetGlusterVolumeSnapshotList(const std::string& host,
                                                      const std::string& volume,
                                                      std::vector<std::string>& snapshots) {
  if (!GlusterArgumentsAreSafe(
          *this, QueryContexts::kGetGlusterVolumeSnapshotList,
          {{"node", host, GlusterWord::Address}, {"volume", volume, GlusterWord::Name}})) {
    return false;
  }
  std::string out;
  if (!RunGlusterCommand(QueryContexts::kGetGlusterVolumeSnapshotList, host,
                         " gluster snapshot list " + volume, out)) {
    return false;
  }
  AppendGlusterSnapshotList(out, snapshots);
  return true;
}

bool WQOpenShiftQueries::GetGlusterSnapVolumeName(const std::string& host,
                                                  const std::string& snapshot,
                                                  std::string& snapVolumeName) {
  if (!GlusterArgumentsAreSafe(
          *this, QueryContexts::kGetGlusterSnapVolumeName,
          {{"node", host, GlusterWord::Address}, {"snapshot", snapshot, GlusterWord::Name}})) {
    return false;
  }
  std::string out;
  if (!RunGlusterCommand(QueryContexts::kGetGlusterSnapVolumeName, host,
                         " gluster snapshot info " + snapshot +
                             " | grep \"Snap Volume Name\" | awk '{print $5}' | tr -d '\\n'",
                         out)) {
    return false;
  }
  // The name goes into later command lines (mount paths), so it must be a plain word.
  if (!GlusterArgumentsAreSafe(*this, QueryContexts::kGetGlusterSnapVolumeName,
                               {{"snap volume name", out, GlusterWord::Name}})) {
    return false;
  }
  snapVolumeName = out;
  return true;
}

}  // namespace OpenShiftSDKWrapper
