#pragma once
// The manifest of a backup directory (DIR/manifest.json): which deployment config was saved,
// the volume records its snapshots need for release and restore, and the files written.
#include <string>
#include <vector>

#include "parser/openshiftParser.h"

namespace wqosctl {

struct ManifestVolume {
  OpenShiftSDKWrapper::SVolumeInfoLib record;  // as the backup returned it
  std::vector<std::string> nodes;  // storage node addresses of the volume at backup time
  std::string dataCopy;            // relative to the backup directory; empty: none
  bool released = false;           // unmounted and deleted by "release"
};

struct Manifest {
  std::string nameSpace;
  std::string deploymentConfig;
  std::string snapshotName;
  std::string created;  // UTC, ISO 8601
  bool complete = false;  // false: the backup failed part way
  std::vector<ManifestVolume> volumes;
  std::vector<std::string> files;  // object definitions, relative to the backup directory
};

std::string ManifestPath(const std::string& backupDir);
// Written to a new temporary file (never through a link planted in the directory), synced and
// renamed, so that a crash leaves the old manifest whole. Read only from a regular file of at
// most kManifestReadLimit bytes: a link, FIFO, directory or device fails with `error`.
bool WriteManifest(const std::string& backupDir, const Manifest& manifest, std::string& error);
bool ReadManifest(const std::string& backupDir, Manifest& manifest, std::string& error);

// The text form, for tests and for --dry-run output.
std::string ManifestText(const Manifest& manifest);
bool ParseManifest(const std::string& text, Manifest& manifest, std::string& error);

}  // namespace wqosctl
