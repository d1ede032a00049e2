// wqosctl describe: what a backup directory holds and in which state, from its manifest, the
// mount table and the result of the last "wqosctl verify".
#include <fstream>
#include <set>
#include <sstream>

#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/integrity.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/project.h"

namespace wqosctl {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

struct SavedObject {
  std::string kind;
  std::string name;
  std::string file;
};

std::vector<SavedObject> SavedObjects(const Manifest& manifest) {
  static const std::pair<const char*, const char*> kKinds[] = {
      {"deploymentconfig_", "deployment config"},
      {"pvc_", "claim"},
      {"secret_", "secret"},
      {"configmap_", "config map"}};
  std::vector<SavedObject> objects;
  for (const std::string& file : manifest.files) {
    SavedObject object{"file", file, file};
    for (const auto& kind : kKinds) {
      const std::string prefix = kind.first;
      if (file.compare(0, prefix.size(), prefix) == 0) {
        object.kind = kind.second;
        object.name = file.substr(prefix.size());
      }
    }
    objects.push_back(object);
  }
  // Recorded by name only: the restore creates it when the project lacks it.
  if (!manifest.serviceAccount.empty()) {
    objects.push_back({"service account", manifest.serviceAccount, "(name only)"});
  }
  return objects;
}

// The mount points of this process's mount namespace (/proc/self/mountinfo, fifth field,
// with blanks, tabs, line feeds and backslashes written as \ooo).
std::set<std::string> MountPoints() {
  std::ifstream in("/proc/self/mountinfo");
  std::set<std::string> points;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string point;
    for (int i = 0; i < 5; ++i) fields >> point;
    std::string decoded;
    for (size_t i = 0; i < point.size(); ++i) {
      if (point[i] == '\\' && i + 3 < point.size()) {
        decoded += static_cast<char>((point[i + 1] - '0') * 64 + (point[i + 2] - '0') * 8 +
                                     (point[i + 3] - '0'));
        i += 3;
      } else {
        decoded += point[i];
      }
    }
    points.insert(decoded);
  }
  return points;
}

// "released", "not released", "N of M released"
std::string ReleaseState(const Manifest& manifest) {
  size_t released = 0;
  for (const ManifestVolume& volume : manifest.volumes) released += volume.released ? 1 : 0;
  if (released == manifest.volumes.size()) return "released";
  if (released == 0) return "not released";
  return std::to_string(released) + " of " + std::to_string(manifest.volumes.size()) + " released";
}

mValue VerificationValue(const Verification& verification) {
  mValue parsed;
  json_spirit::read_string(VerificationText(verification), parsed);
  return parsed;
}

mValue DescriptionValue(const std::string& dir, const Manifest& manifest,
                        const std::set<std::string>& mounts, const Verification* verification) {
  mArray volumes;
  for (const ManifestVolume& volume : manifest.volumes) {
    mObject out;
    out["claim"] = volume.record.name;
    out["capacity"] = volume.record.capacity;
    out["storageClass"] = volume.record.storageClassName;
    out["persistentVolume"] = volume.record.persistentVolumeName;
    out["glusterVolume"] = volume.glusterVolume;
    out["nodes"] = mArray(volume.nodes.begin(), volume.nodes.end());
    out["snapshot"] = volume.record.glusterfs.snapshotName;
    out["mountPath"] = MountPathOf(dir, volume);
    out["mounted"] = mounts.count(MountPathOf(dir, volume)) > 0;
    out["released"] = volume.released;
    if (volume.dataCopy.empty()) {
      out["dataCopy"] = mValue();
    } else {
      mObject copy;
      copy["path"] = DataCopyOf(dir, volume);
      copy["recorded"] = volume.data.recorded;
      copy["files"] = volume.data.files;
      copy["directories"] = volume.data.directories;
      copy["bytes"] = volume.data.bytes;
      out["dataCopy"] = copy;
    }
    volumes.push_back(out);
  }
  mArray objects;
  for (const SavedObject& object : SavedObjects(manifest)) {
    mObject out;
    out["kind"] = object.kind;
    out["name"] = object.name;
    out["file"] = object.file;
    objects.push_back(out);
  }
  mObject out;
  out["directory"] = dir;
  out["manifestVersion"] = manifest.version;
  out["namespace"] = manifest.nameSpace;
  out["deploymentConfig"] = manifest.deploymentConfig;
  out["snapshotName"] = manifest.snapshotName;
  out["created"] = manifest.created;
  out["complete"] = manifest.complete;
  out["released"] = ReleaseState(manifest) == "released";
  out["volumes"] = volumes;
  out["objects"] = objects;
  if (!manifest.sharedClaims.empty()) {
    mArray shared;
    for (const SharedClaim& claim : manifest.sharedClaims) {
      shared.push_back(mObject{{"claim", claim.claim}, {"deploymentConfig", claim.owner}});
    }
    out["sharedClaims"] = shared;
  }
  out["verification"] = verification != nullptr ? VerificationValue(*verification) : mValue();
  return out;
}

std::string DescriptionText(const std::string& dir, const Manifest& manifest,
                            const std::set<std::string>& mounts, const Verification* verification) {
  std::string text = "Backup in " + dir + "\n";
  text += "  deployment config  " + manifest.nameSpace + "/" + manifest.deploymentConfig + "\n";
  text += "  created            " + manifest.created + "\n";
  text += std::string("  state              ") +
          (manifest.complete ? "complete" : "partial (the backup failed part way)") + "\n";
  text += "  snapshots          " + ReleaseState(manifest) + "\n";
  text += "\nVolumes:\n";
  std::vector<std::vector<std::string>> rows = {
      {"CLAIM", "SIZE", "NODES", "SNAPSHOT", "MOUNTED", "DATA COPY"}};
  for (const ManifestVolume& volume : manifest.volumes) {
    std::string copy = "none";
    if (!volume.dataCopy.empty()) {
      copy = volume.dataCopy +
             (volume.data.recorded ? " (" + RecordSummary(volume.data) + ")" : " (no record)");
    }
    const bool mounted = mounts.count(MountPathOf(dir, volume)) > 0;
    rows.push_back(
        {volume.record.name, volume.record.capacity, Joined(volume.nodes),
         volume.record.glusterfs.snapshotName.empty()
             ? "<none>"
             : volume.record.glusterfs.snapshotName + (volume.released ? " (released)" : ""),
         mounted ? "yes" : "no", copy});
  }
  text += FormatTable(rows);
  for (const SharedClaim& claim : manifest.sharedClaims) {
    text += "  claim " + claim.claim + ": in the backup of deployment config " + claim.owner + "\n";
  }
  text += "\nSaved objects:\n";
  rows = {{"KIND", "NAME", "FILE"}};
  for (const SavedObject& object : SavedObjects(manifest)) {
    rows.push_back({object.kind, object.name, object.file});
  }
  text += FormatTable(rows);
  if (verification == nullptr) return text + "\nVerification: never run\n";
  text += "\nVerification: " + verification->result + " (" + verification->verified + ")\n";
  for (const VolumeVerification& volume : verification->volumes) {
    text += "  " + volume.claim + ": " + volume.result;
    if (volume.result == "ok" || volume.result == "differences") {
      text += ", " + std::to_string(volume.files) + " files, " + std::to_string(volume.bytes) +
              " bytes read";
    }
    text += volume.error.empty() ? "\n" : ": " + volume.error + "\n";
    for (const std::string& line : volume.differences) text += "    " + line + "\n";
  }
  return text;
}

}  // namespace

bool DescribeBackup(const std::string& dir, bool json, mValue& value, std::string& text) {
  Manifest manifest;
  if (!LoadBackup(dir, manifest)) return false;
  // A verification of an earlier backup in the directory says nothing about this one.
  Verification verification;
  const bool verified = ReadVerification(dir, verification) &&
                        verification.backupCreated == manifest.created &&
                        verification.records == RecordDigest(manifest);
  const std::set<std::string> mounts = MountPoints();
  if (json) {
    value = DescriptionValue(dir, manifest, mounts, verified ? &verification : nullptr);
  } else {
    text = DescriptionText(dir, manifest, mounts, verified ? &verification : nullptr);
  }
  return true;
}

int RunDescribe(const Invocation& invocation) {
  const std::string dir = Absolute(invocation.dir);
  if (IsProjectDirectory(dir)) return DescribeProject(invocation);
  mValue value;
  std::string text;
  if (!DescribeBackup(dir, invocation.output == "json", value, text)) return kExitFailed;
  if (invocation.output == "json") {
    PrintOut(json_spirit::write_string(value, json_spirit::pretty_print) + "\n");
  } else {
    PrintOut(text);
  }
  return kExitOk;
}

}  // namespace wqosctl
