#include "tools/wqosctl/manifest.h"

#include <ctime>

#include "host/safeFiles.h"
#include "tools/wqosctl/console.h"

namespace wqosctl {

std::string Text(const json_spirit::mObject& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->second.type() == json_spirit::str_type
             ? found->second.get_str()
             : std::string();
}

bool Flag(const json_spirit::mObject& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->second.type() == json_spirit::bool_type &&
         found->second.get_bool();
}

std::vector<std::string> TextList(const json_spirit::mObject& object, const char* key) {
  std::vector<std::string> values;
  const auto found = object.find(key);
  if (found == object.end() || found->second.type() != json_spirit::array_type) return values;
  for (const json_spirit::mValue& value : found->second.get_array()) {
    if (value.type() == json_spirit::str_type) values.push_back(value.get_str());
  }
  return values;
}

bool ReadObject(const std::string& text, json_spirit::mValue& value) {
  return json_spirit::read_string(text, value) && value.type() == json_spirit::obj_type;
}

std::vector<const json_spirit::mObject*> Objects(const json_spirit::mObject& object,
                                                 const char* key) {
  std::vector<const json_spirit::mObject*> objects;
  const auto found = object.find(key);
  if (found == object.end() || found->second.type() != json_spirit::array_type) return objects;
  for (const json_spirit::mValue& entry : found->second.get_array()) {
    if (entry.type() == json_spirit::obj_type) objects.push_back(&entry.get_obj());
  }
  return objects;
}

std::string NowUtc(const char* format) {
  char text[32];
  const std::time_t now = std::time(nullptr);
  struct tm utc {};
  gmtime_r(&now, &utc);
  std::strftime(text, sizeof text, format, &utc);
  return text;
}

namespace {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

mArray Strings(const std::vector<std::string>& values) {
  return mArray(values.begin(), values.end());
}

uint64_t Number(const mObject& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->second.type() == json_spirit::int_type
             ? found->second.get_uint64()
             : 0;
}

mValue EntryValue(const DataEntry& entry) {
  mObject out;
  out["path"] = entry.path;
  out["type"] = std::string(1, entry.type);
  if (entry.type == 'f') {
    out["size"] = entry.size;
    out["sha256"] = entry.sha256;
  }
  if (entry.type == 'l') out["target"] = entry.linkTarget;
  return out;
}

void AddDataRecord(const DataRecord& data, mObject& out) {
  if (!data.recorded) return;
  mArray entries;
  for (const DataEntry& entry : data.entries) entries.push_back(EntryValue(entry));
  out["dataFiles"] = data.files;
  out["dataDirectories"] = data.directories;
  out["dataBytes"] = data.bytes;
  out["dataEntries"] = entries;
}

bool IsSha256(const std::string& text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// False with `error` on an entry that could steer a path or that no copy can have made.
bool ReadDataRecord(const mObject& in, const std::string& claim, DataRecord& data,
                    std::string& error) {
  const auto entries = in.find("dataEntries");
  if (entries == in.end()) return true;
  if (entries->second.type() != json_spirit::array_type) {
    error = "the data record of claim " + claim + " is not a list";
    return false;
  }
  data.recorded = true;
  data.files = Number(in, "dataFiles");
  data.directories = Number(in, "dataDirectories");
  data.bytes = Number(in, "dataBytes");
  for (const mValue& value : entries->second.get_array()) {
    DataEntry entry;
    const std::string type =
        value.type() == json_spirit::obj_type ? Text(value.get_obj(), "type") : std::string();
    if (type.size() == 1) entry.type = type[0];
    if (value.type() == json_spirit::obj_type) {
      const mObject& object = value.get_obj();
      entry.path = Text(object, "path");
      entry.size = Number(object, "size");
      entry.sha256 = Text(object, "sha256");
      entry.linkTarget = Text(object, "target");
    }
    if (type.size() != 1 || std::string("fdlpscb").find(entry.type) == std::string::npos ||
        !IsPlainPath(entry.path) || (entry.type == 'f' && !IsSha256(entry.sha256))) {
      error = "the data record of claim " + claim + " has a malformed entry \"" + entry.path + "\"";
      return false;
    }
    data.entries.push_back(entry);
  }
  return true;
}

mValue VolumeValue(const ManifestVolume& volume) {
  const OpenShiftSDKWrapper::SVolumeInfoLib& record = volume.record;
  mObject labels;
  for (const auto& entry : record.matchLabels.keyValues) labels[entry.key] = entry.value;
  mObject out;
  out["name"] = record.name;
  out["podVolumeName"] = record.podVolumeName;
  out["persistentVolumeName"] = record.persistentVolumeName;
  out["storageClassName"] = record.storageClassName;
  out["capacity"] = record.capacity;
  out["accessModes"] = Strings(record.accessModes);
  out["matchLabels"] = labels;
  out["snapshotState"] = record.snapshotState;
  out["mountPath"] = record.glusterfs.path;
  out["glusterSnapshot"] = record.glusterfs.snapshotName;
  out["glusterVolume"] = volume.glusterVolume;
  out["plannedSnapshot"] = volume.plannedSnapshot;
  out["plannedAt"] = volume.plannedAt;
  out["nodes"] = Strings(volume.nodes);
  out["dataCopy"] = volume.dataCopy;
  out["released"] = volume.released;
  AddDataRecord(volume.data, out);
  return out;
}

ManifestVolume VolumeOf(const mObject& in) {
  ManifestVolume volume;
  OpenShiftSDKWrapper::SVolumeInfoLib& record = volume.record;
  record.name = Text(in, "name");
  record.podVolumeName = Text(in, "podVolumeName");
  record.persistentVolumeName = Text(in, "persistentVolumeName");
  record.storageClassName = Text(in, "storageClassName");
  record.capacity = Text(in, "capacity");
  record.accessModes = TextList(in, "accessModes");
  const auto labels = in.find("matchLabels");
  if (labels != in.end() && labels->second.type() == json_spirit::obj_type) {
    for (const auto& entry : labels->second.get_obj()) {
      if (entry.second.type() == json_spirit::str_type) {
        record.matchLabels.keyValues.emplace_back(entry.first, entry.second.get_str());
      }
    }
  }
  const auto state = in.find("snapshotState");
  if (state != in.end() && state->second.type() == json_spirit::int_type) {
    record.snapshotState = state->second.get_int();
  }
  record.glusterfs.path = Text(in, "mountPath");
  record.glusterfs.snapshotName = Text(in, "glusterSnapshot");
  volume.glusterVolume = Text(in, "glusterVolume");
  volume.plannedSnapshot = Text(in, "plannedSnapshot");
  volume.plannedAt = Text(in, "plannedAt");
  volume.nodes = TextList(in, "nodes");
  volume.dataCopy = Text(in, "dataCopy");
  volume.released = Flag(in, "released");
  return volume;
}

}  // namespace

std::string ManifestPath(const std::string& backupDir) { return backupDir + "/manifest.json"; }

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

bool IsPlainPath(const std::string& path) {
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    if (!IsPlainName(path.substr(start, slash - start))) return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

std::string MountPathOf(const std::string& backupDir, const ManifestVolume& volume) {
  return backupDir + "/" + volume.record.name;
}

bool CheckPaths(const std::string& backupDir, const Manifest& manifest, std::string& error) {
  // Format 1 manifests may come from a directory since moved: their paths are only derived.
  if (manifest.version < 2) return true;
  for (const ManifestVolume& volume : manifest.volumes) {
    const std::string& recorded = volume.record.glusterfs.path;
    if (!recorded.empty() && recorded != MountPathOf(backupDir, volume)) {
      error = "the manifest mounts claim " + volume.record.name + " on " + recorded + ", not on " +
              MountPathOf(backupDir, volume);
      return false;
    }
  }
  return true;
}

std::string DataCopyOf(const std::string& backupDir, const ManifestVolume& volume) {
  return volume.dataCopy.empty() ? std::string() : backupDir + "/data/" + volume.record.name;
}

std::string ManifestText(const Manifest& manifest) {
  mArray volumes;
  for (const ManifestVolume& volume : manifest.volumes) volumes.push_back(VolumeValue(volume));
  mObject out;
  out["version"] = kManifestVersion;
  out["namespace"] = manifest.nameSpace;
  out["deploymentConfig"] = manifest.deploymentConfig;
  out["snapshotName"] = manifest.snapshotName;
  out["created"] = manifest.created;
  out["complete"] = manifest.complete;
  out["volumes"] = volumes;
  out["files"] = Strings(manifest.files);
  if (!manifest.serviceAccount.empty()) out["serviceAccount"] = manifest.serviceAccount;
  if (!manifest.sharedClaims.empty()) {
    mArray shared;
    for (const SharedClaim& claim : manifest.sharedClaims) {
      shared.push_back(mObject{{"claim", claim.claim}, {"deploymentConfig", claim.owner}});
    }
    out["sharedClaims"] = shared;
  }
  return json_spirit::write_string(mValue(out), json_spirit::pretty_print) + "\n";
}

bool ParseManifest(const std::string& text, Manifest& manifest, std::string& error) {
  mValue value;
  if (!ReadObject(text, value)) {
    error = "the manifest is not a JSON object";
    return false;
  }
  const mObject& in = value.get_obj();
  const auto version = in.find("version");
  if (version == in.end() || version->second.type() != json_spirit::int_type ||
      version->second.get_int() < 1) {
    error = "the manifest has no format version";
    return false;
  }
  if (version->second.get_int() > kManifestVersion) {
    error = "the manifest is of format version " + std::to_string(version->second.get_int()) +
            ", newer than this wqosctl reads (" + std::to_string(kManifestVersion) +
            "): use a newer wqosctl";
    return false;
  }
  manifest = Manifest();
  manifest.version = version->second.get_int();
  manifest.nameSpace = Text(in, "namespace");
  manifest.deploymentConfig = Text(in, "deploymentConfig");
  manifest.snapshotName = Text(in, "snapshotName");
  manifest.created = Text(in, "created");
  manifest.complete = Flag(in, "complete");
  manifest.files = TextList(in, "files");
  manifest.serviceAccount = Text(in, "serviceAccount");
  for (const mObject* claim : Objects(in, "sharedClaims")) {
    manifest.sharedClaims.push_back({Text(*claim, "claim"), Text(*claim, "deploymentConfig")});
    if (!IsPlainName(manifest.sharedClaims.back().claim)) {
      error = "the manifest shares a claim \"" + manifest.sharedClaims.back().claim +
              "\" that is not a plain name";
      return false;
    }
  }
  for (const mObject* volume : Objects(in, "volumes")) {
    manifest.volumes.push_back(VolumeOf(*volume));
    if (!ReadDataRecord(*volume, manifest.volumes.back().record.name, manifest.volumes.back().data,
                        error)) {
      return false;
    }
  }
  if (manifest.nameSpace.empty() || manifest.deploymentConfig.empty()) {
    error = "the manifest names no namespace or deployment config";
    return false;
  }
  // Names become paths below the backup directory and the claims' mounts.
  for (const ManifestVolume& volume : manifest.volumes) {
    if (!IsPlainName(volume.record.name)) {
      error = "the manifest names a claim \"" + volume.record.name + "\" that is not a plain name";
      return false;
    }
    if (!volume.dataCopy.empty() && volume.dataCopy != "data/" + volume.record.name) {
      error = "the data copy of claim " + volume.record.name + " is not data/" + volume.record.name;
      return false;
    }
  }
  for (const std::string& file : manifest.files) {
    if (!IsPlainName(file)) {
      error = "the manifest names a file \"" + file + "\" that is not a plain name";
      return false;
    }
  }
  return true;
}

bool WriteManifest(const std::string& backupDir, const Manifest& manifest, std::string& error) {
  return OpenShiftSDKWrapper::WriteFileAtomically(backupDir, "manifest.json",
                                                  ManifestText(manifest), 0600, error);
}

bool ReadManifest(const std::string& backupDir, Manifest& manifest, std::string& error) {
  const std::string path = ManifestPath(backupDir);
  std::string text;
  if (!OpenShiftSDKWrapper::ReadRegularFile(path, OpenShiftSDKWrapper::kManifestReadLimit, text,
                                            error)) {
    return false;
  }
  if (!ParseManifest(text, manifest, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

bool LoadBackup(const std::string& backupDir, Manifest& manifest) {
  std::string error;
  if (ReadManifest(backupDir, manifest, error) && CheckPaths(backupDir, manifest, error)) {
    return true;
  }
  PrintErr("wqosctl: " + error + "\n");
  return false;
}

}  // namespace wqosctl
