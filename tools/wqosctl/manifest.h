#pragma once
// The manifest of a backup directory (DIR/manifest.json): which deployment config was saved,
// the volume records its snapshots need for release and restore, and the files written.
#include <cstdint>
#include <string>
#include <vector>

#include "parser/openshiftParser.h"

namespace wqosctl {

// One entry of a volume's data copy as the backup made it.
struct DataEntry {
  std::string path;        // below data/CLAIM, "/"-separated plain names
  char type = 'f';         // as FileEntry::type: 'f', 'd', 'l', 'p', 's', 'c', 'b'
  uint64_t size = 0;       // 'f'
  std::string sha256;      // 'f': 64 lowercase hexadecimal digits
  std::string linkTarget;  // 'l'
};

// What a data copy held when it was made: every entry, sorted by path, and the counts.
struct DataRecord {
  bool recorded = false;  // false: no copy, or one made by a wqosctl that kept no record
  uint64_t files = 0;     // regular files (each name of a hard-linked one)
  uint64_t directories = 0;
  uint64_t bytes = 0;  // the sizes of the files added up
  std::vector<DataEntry> entries;
};

struct ManifestVolume {
  // As the backup returned it. Its mount path is always BACKUPDIR/CLAIM, whatever a manifest
  // says (MountPathOf); an empty snapshot name: the snapshot was planned, maybe not taken.
  OpenShiftSDKWrapper::SVolumeInfoLib record;
  std::string glusterVolume;  // the snapshotted GlusterFS volume; empty in version 1
  // Written before "snapshot create": the name asked for and the UTC time before the call
  // ("YYYY.MM.DD-HH.MM.SS", as GlusterFS appends it), so that release can find a snapshot
  // that was created while the backup was killed.
  std::string plannedSnapshot;
  std::string plannedAt;
  std::vector<std::string> nodes;  // storage node addresses of the volume at backup time
  std::string dataCopy;            // "data/CLAIM" or empty: none
  DataRecord data;                 // of the data copy
  bool released = false;           // unmounted and deleted by "release"
};

// The format this build writes; it reads this and every older one. Version 3 added the
// record of the data copy: a wqosctl that reads only version 2 would drop it when it
// rewrites the manifest (release), so it refuses version 3 instead.
const int kManifestVersion = 3;

// A claim of the deployment config whose snapshot the backup of another deployment config of
// the same project backup holds (DIR/../OWNER): not snapshotted or copied again.
struct SharedClaim {
  std::string claim;
  std::string owner;  // the deployment config
};

struct Manifest {
  int version = kManifestVersion;  // as read
  std::string nameSpace;
  std::string deploymentConfig;
  std::string snapshotName;
  std::string created;    // UTC, ISO 8601
  bool complete = false;  // false: the backup failed part way
  std::vector<ManifestVolume> volumes;
  std::vector<std::string> files;  // object definitions, relative to the backup directory
  // The service account the pods run as, when they name one; never saved, only re-created.
  std::string serviceAccount;
  std::vector<SharedClaim> sharedClaims;  // only in the backups of a project
};

// A string member of a JSON object; members of the wrong type read as empty, so that a
// hand-edited file fails where the member is used, with the name of what is missing.
std::string Text(const json_spirit::mObject& object, const char* key);
// A boolean member; members of the wrong type read as false.
bool Flag(const json_spirit::mObject& object, const char* key);
// The strings of the array member `key`; other entries are passed over.
std::vector<std::string> TextList(const json_spirit::mObject& object, const char* key);
// `text` read into `value`: false unless it is a JSON object.
bool ReadObject(const std::string& text, json_spirit::mValue& value);
// The objects of the array member `key`; other entries are passed over.
std::vector<const json_spirit::mObject*> Objects(const json_spirit::mObject& object,
                                                 const char* key);
// The current UTC time in strftime's `format`.
std::string NowUtc(const char* format = "%Y-%m-%dT%H:%M:%SZ");

std::string ManifestPath(const std::string& backupDir);
// Written to a new temporary file (never through a link planted in the directory), synced and
// renamed, so that a crash leaves the old manifest whole. Read only from a regular file of at
// most kManifestReadLimit bytes: a link, FIFO, directory or device fails with `error`.
bool WriteManifest(const std::string& backupDir, const Manifest& manifest, std::string& error);
bool ReadManifest(const std::string& backupDir, Manifest& manifest, std::string& error);

// Where a volume's snapshot is mounted and where its data copy is: derived from the backup
// directory and the claim name, never taken from the manifest's text.
std::string MountPathOf(const std::string& backupDir, const ManifestVolume& volume);
std::string DataCopyOf(const std::string& backupDir, const ManifestVolume& volume);
// False when a manifest (of format 2 or later) records a mount path other than the derived
// one: the directory was tampered with or moved.
bool CheckPaths(const std::string& backupDir, const Manifest& manifest, std::string& error);
// ReadManifest and CheckPaths; a failure is printed on standard error.
bool LoadBackup(const std::string& backupDir, Manifest& manifest);
// A name that stays one entry of its directory: not empty, no '/', not "." or "..".
bool IsPlainName(const std::string& name);
// A relative path of plain names joined by single '/'.
bool IsPlainPath(const std::string& path);

// The text form, for tests and for --dry-run output. Parsing refuses a manifest of a newer
// version, claim and file names that are not plain names, a data copy other than
// "data/CLAIM", and recorded data entries whose paths are not plain names joined by '/' or
// whose type or SHA-256 is malformed.
std::string ManifestText(const Manifest& manifest);
bool ParseManifest(const std::string& text, Manifest& manifest, std::string& error);

}  // namespace wqosctl
