// wqosctl get: objects of the cluster as a table or as JSON.
#include <algorithm>
#include <functional>

#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"

namespace wqosctl {

using namespace OpenShiftSDKWrapper;
using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

using Row = std::vector<std::string>;

// One kind's columns and JSON form.
template <typename Record>
struct KindView {
  Row header;
  std::function<Row(const Record&)> row;
  std::function<mValue(const Record&)> json;
};

mObject Labels(const SObjectInfoLib& map) {
  mObject out;
  for (const SKeyValueInfoLib& entry : map.keyValues) out[entry.key] = entry.value;
  return out;
}

mObject Metadata(const SObjectMetaInfoLib& metadata) {
  mObject out;
  out["name"] = metadata.name;
  if (!metadata.nameSpace.empty()) out["namespace"] = metadata.nameSpace;
  out["uid"] = metadata.uid;
  out["creationTimestamp"] = metadata.creationTimestamp;
  out["labels"] = Labels(metadata.labels);
  out["annotations"] = Labels(metadata.annotations);
  return out;
}

// Records the codec writes whole are shown whole; the others as the members read.
template <typename Record>
mValue Written(const Record& record) {
  WQOpenShiftParser parser;
  mObject out;
  parser.Convert(record, out);
  return out;
}

mValue ProjectJson(const SProjectInfoLib& project) {
  mObject status;
  status["phase"] = project.status.phase;
  mObject out;
  out["kind"] = "Project";
  out["metadata"] = Metadata(project.metadata);
  out["status"] = status;
  return out;
}

mValue StorageClassJson(const SStorageClassInfoLib& storageClass) {
  mObject metadata;
  metadata["name"] = storageClass.metadata.name;
  mObject out;
  out["kind"] = "StorageClass";
  out["metadata"] = metadata;
  return out;
}

std::string ReadyText(const SPodInfoLib& pod) {
  int ready = 0;
  for (const SContainerStatusInfoLib& status : pod.status.containerStatuses) {
    if (status.ready) ++ready;
  }
  return std::to_string(ready) + "/" + std::to_string(pod.spec.containers.size());
}

int Restarts(const SPodInfoLib& pod) {
  int restarts = 0;
  for (const SContainerStatusInfoLib& status : pod.status.containerStatuses) {
    restarts += status.restartCount;
  }
  return restarts;
}

mValue PodJson(const SPodInfoLib& pod) {
  mArray containers;
  for (const SContainerInfoLib& container : pod.spec.containers) {
    mObject entry;
    entry["name"] = container.name;
    entry["image"] = container.image;
    containers.push_back(entry);
  }
  mArray volumes;
  for (const SVolumeInfoLib& volume : pod.spec.volumes) {
    mObject entry;
    entry["name"] = volume.name;
    if (!volume.persistentVolumeClaim.claimName.empty()) {
      entry["claimName"] = volume.persistentVolumeClaim.claimName;
    }
    volumes.push_back(entry);
  }
  mObject spec;
  spec["containers"] = containers;
  spec["volumes"] = volumes;
  spec["nodeName"] = pod.spec.nodeName;
  mObject status;
  status["phase"] = pod.status.phase;
  status["podIP"] = pod.status.podIP;
  status["hostIP"] = pod.status.hostIP;
  status["ready"] = ReadyText(pod);
  status["restarts"] = Restarts(pod);
  mObject out;
  out["kind"] = "Pod";
  out["metadata"] = Metadata(pod.metadata);
  out["spec"] = spec;
  out["status"] = status;
  return out;
}

std::string Addresses(const SEndpointsInfoLib& endpoints) {
  std::vector<std::string> shown;
  for (const SEndpointSubsetInfoLib& subset : endpoints.subsets) {
    for (const SEndpointAddressInfoLib& address : subset.addresses) {
      if (subset.ports.empty()) {
        shown.push_back(address.ip);
      }
      for (const SEndpointPortInfoLib& port : subset.ports) {
        shown.push_back(address.ip + ":" + std::to_string(port.port));
      }
    }
  }
  return Joined(shown);
}

template <typename Record>
int Show(const Invocation& invocation, const std::vector<Record>& records,
         const KindView<Record>& view) {
  if (invocation.output == "json") {
    if (invocation.positional.size() == 2 && records.size() == 1) {
      PrintOut(json_spirit::write_string(view.json(records.front()), json_spirit::pretty_print) +
               "\n");
      return kExitOk;
    }
    mArray items;
    for (const Record& record : records) items.push_back(view.json(record));
    mObject list;
    list["kind"] = "List";
    list["items"] = items;
    PrintOut(json_spirit::write_string(mValue(list), json_spirit::pretty_print) + "\n");
    return kExitOk;
  }
  if (records.empty()) {
    PrintErr("No resources found.\n");
    return kExitOk;
  }
  std::vector<Row> rows{view.header};
  for (const Record& record : records) rows.push_back(view.row(record));
  PrintOut(FormatTable(rows));
  return kExitOk;
}

// Keeps the record named `name` (when a name was given); false when it is not there.
template <typename Record, typename Name>
bool Pick(std::vector<Record>& records, const Invocation& invocation, Name name) {
  if (invocation.positional.size() < 2) return true;
  const std::string& wanted = invocation.positional[1];
  records.erase(std::remove_if(records.begin(), records.end(),
                               [&](const Record& record) { return name(record) != wanted; }),
                records.end());
  return !records.empty();
}

int NotFound(const std::string& kind, const std::string& name) {
  PrintErr("wqosctl: " + kind + " \"" + name + "\" not found\n");
  for (const std::string& line : LibraryLog::ErrorsSinceMark(2)) {
    PrintErr("    library: " + line + "\n");
  }
  return kExitFailed;
}

int ReadFailed(const std::string& what) {
  PrintErr("wqosctl: cannot read " + what + "\n");
  for (const std::string& line : LibraryLog::ErrorsSinceMark(2)) {
    PrintErr("    library: " + line + "\n");
  }
  return kExitFailed;
}

// Reads the object named on the command line, or every object of the kind in the
// namespace; kExitOk when read, else the exit code after the message.
template <typename Record, typename GetOne, typename GetAll>
int Fetch(Context& context, const std::string& kind, GetOne one, GetAll all,
          std::vector<Record>& records) {
  const Invocation& invocation = context.invocation;
  WQOpenShiftSDKWrapper& sdk = context.session.Sdk();
  if (invocation.positional.size() == 2) {
    Record record;
    if (!(sdk.*one)(invocation.nameSpace, invocation.positional[1], record, 0)) {
      return NotFound(kind, invocation.positional[1]);
    }
    records.push_back(record);
  } else if (!(sdk.*all)(invocation.nameSpace, records, 0)) {
    return ReadFailed("the " + kind + "s of " + invocation.nameSpace);
  }
  return kExitOk;
}

int GetProjects(Context& context) {
  std::vector<SProjectInfoLib> projects;
  if (!context.session.Sdk().GetProjectInfoList(projects, 0)) return ReadFailed("the projects");
  const auto name = [](const SProjectInfoLib& p) { return p.metadata.name; };
  if (!Pick(projects, context.invocation, name)) {
    return NotFound("project", context.invocation.positional[1]);
  }
  KindView<SProjectInfoLib> view{
      {"NAME", "DISPLAY NAME", "STATUS"},
      [](const SProjectInfoLib& p) {
        return Row{p.metadata.name, ValueOf(p.metadata.annotations, "openshift.io/display-name"),
                   p.status.phase};
      },
      ProjectJson};
  return Show(context.invocation, projects, view);
}

int GetStorageClasses(Context& context) {
  std::vector<SStorageClassInfoLib> classes;
  if (!context.session.Sdk().GetStorageClassList(classes, 0)) {
    return ReadFailed("the storage classes");
  }
  const auto name = [](const SStorageClassInfoLib& c) { return c.metadata.name; };
  if (!Pick(classes, context.invocation, name)) {
    return NotFound("storage class", context.invocation.positional[1]);
  }
  KindView<SStorageClassInfoLib> view{
      {"NAME"},
      [](const SStorageClassInfoLib& c) { return Row{c.metadata.name}; },
      StorageClassJson};
  return Show(context.invocation, classes, view);
}

int GetDeploymentConfigs(Context& context) {
  std::vector<SDeploymentConfigInfoLib> configs;
  if (const int failed =
          Fetch(context, "deployment config", &WQOpenShiftSDKWrapper::GetDeploymentConfigInfo,
                &WQOpenShiftSDKWrapper::GetDeploymentConfigInfoList, configs)) {
    return failed;
  }
  KindView<SDeploymentConfigInfoLib> view{
      {"NAME", "REVISION", "DESIRED", "CURRENT", "READY"},
      [](const SDeploymentConfigInfoLib& dc) {
        return Row{dc.metadata.name, std::to_string(dc.status.latestVersion),
                   std::to_string(dc.spec.replicas), std::to_string(dc.status.replicas),
                   std::to_string(dc.status.readyReplicas)};
      },
      Written<SDeploymentConfigInfoLib>};
  return Show(context.invocation, configs, view);
}

int GetClaims(Context& context) {
  std::vector<SPersistentVolumeClaimInfoLib> claims;
  if (const int failed = Fetch(context, "persistent volume claim",
                               &WQOpenShiftSDKWrapper::GetPersistentVolumeClaimInfo,
                               &WQOpenShiftSDKWrapper::GetPersistentVolumeClaimInfoList, claims)) {
    return failed;
  }
  KindView<SPersistentVolumeClaimInfoLib> view{
      {"NAME", "STATUS", "VOLUME", "CAPACITY", "ACCESS MODES", "STORAGECLASS"},
      [](const SPersistentVolumeClaimInfoLib& c) {
        return Row{c.metadata.name,
                   c.status.phase,
                   c.spec.volumeName,
                   ValueOf(c.status.capacity, "storage"),
                   Joined(c.spec.accessModes),
                   c.spec.storageClassName};
      },
      Written<SPersistentVolumeClaimInfoLib>};
  return Show(context.invocation, claims, view);
}

int GetPods(Context& context) {
  std::vector<SPodInfoLib> pods;
  if (const int failed = Fetch(context, "pod", &WQOpenShiftSDKWrapper::GetPodInfo,
                               &WQOpenShiftSDKWrapper::GetPodInfoList, pods)) {
    return failed;
  }
  KindView<SPodInfoLib> view{{"NAME", "READY", "STATUS", "RESTARTS", "IP"},
                             [](const SPodInfoLib& p) {
                               return Row{p.metadata.name, ReadyText(p), p.status.phase,
                                          std::to_string(Restarts(p)), p.status.podIP};
                             },
                             PodJson};
  return Show(context.invocation, pods, view);
}

// Without a name: the volumes bound to the namespace's claims.
bool VolumeNames(Context& context, std::vector<std::string>& names) {
  const Invocation& invocation = context.invocation;
  if (invocation.positional.size() == 2) {
    names.push_back(invocation.positional[1]);
    return true;
  }
  std::vector<SPersistentVolumeClaimInfoLib> claims;
  if (!context.session.Sdk().GetPersistentVolumeClaimInfoList(invocation.nameSpace, claims, 0)) {
    return false;
  }
  for (const SPersistentVolumeClaimInfoLib& claim : claims) {
    if (!claim.spec.volumeName.empty()) names.push_back(claim.spec.volumeName);
  }
  return true;
}

int GetVolumes(Context& context) {
  std::vector<std::string> names;
  if (!VolumeNames(context, names))
    return ReadFailed("the claims of " + context.invocation.nameSpace);
  std::vector<SPersistentVolumeInfoLib> volumes;
  for (const std::string& name : names) {
    SPersistentVolumeInfoLib volume;
    if (!context.session.Sdk().GetPersistentVolumeInfo(name, volume, 0)) {
      return NotFound("persistent volume", name);
    }
    volumes.push_back(volume);
  }
  KindView<SPersistentVolumeInfoLib> view{
      {"NAME", "CAPACITY", "ACCESS MODES", "RECLAIM POLICY", "STATUS", "CLAIM", "STORAGECLASS",
       "GLUSTER VOLUME"},
      [](const SPersistentVolumeInfoLib& v) {
        const std::string claim = v.spec.claimRef.name.empty()
                                      ? std::string()
                                      : v.spec.claimRef.nameSpace + "/" + v.spec.claimRef.name;
        return Row{v.metadata.name,
                   ValueOf(v.spec.capacity, "storage"),
                   Joined(v.spec.accessModes),
                   v.spec.persistentVolumeReclaimPolicy,
                   v.status.phase,
                   claim,
                   v.spec.storageClassName,
                   v.spec.glusterfs.path};
      },
      Written<SPersistentVolumeInfoLib>};
  return Show(context.invocation, volumes, view);
}

int GetEndpoints(Context& context) {
  const Invocation& invocation = context.invocation;
  std::vector<std::string> names;
  if (invocation.positional.size() == 2) {
    names.push_back(invocation.positional[1]);
  } else {
    std::vector<std::string> volumes;
    if (!VolumeNames(context, volumes)) return ReadFailed("the claims of " + invocation.nameSpace);
    for (const std::string& volume : volumes) {
      SPersistentVolumeInfoLib pv;
      const std::string& endpoints = pv.spec.glusterfs.endpoints;
      if (context.session.Sdk().GetPersistentVolumeInfo(volume, pv, 0) && !endpoints.empty() &&
          std::find(names.begin(), names.end(), endpoints) == names.end()) {
        names.push_back(endpoints);
      }
    }
  }
  std::vector<SEndpointsInfoLib> found;
  for (const std::string& name : names) {
    SEndpointsInfoLib endpoints;
    if (!context.session.Sdk().GetEndpointsInfo(invocation.nameSpace, name, endpoints, 0)) {
      return NotFound("endpoints", name);
    }
    found.push_back(endpoints);
  }
  KindView<SEndpointsInfoLib> view{{"NAME", "ENDPOINTS"},
                                   [](const SEndpointsInfoLib& e) {
                                     return Row{e.metadata.name, Addresses(e)};
                                   },
                                   Written<SEndpointsInfoLib>};
  return Show(invocation, found, view);
}

}  // namespace

int RunGet(Context& context) {
  const std::string& kind = context.invocation.positional[0];
  LibraryLog::Mark();
  if (kind == "projects") return GetProjects(context);
  if (kind == "storageclasses") return GetStorageClasses(context);
  if (kind == "dc") return GetDeploymentConfigs(context);
  if (kind == "pvc") return GetClaims(context);
  if (kind == "pods") return GetPods(context);
  if (kind == "pv") return GetVolumes(context);
  return GetEndpoints(context);
}

}  // namespace wqosctl
