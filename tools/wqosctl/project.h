#pragma once
// Backups of every deployment config of a project: DIR/project.json lists them, each one's
// backup is the single deployment config's one in DIR/<dc>/. A claim that several of them use
// is snapshotted by the first backup that takes it; the later ones' manifests name that one.
#include <map>
#include <string>
#include <vector>

#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/manifest.h"

namespace wqosctl {

// One deployment config of a project backup and what its backup came to.
struct ProjectMember {
  std::string deploymentConfig;
  std::string directory;  // below the project directory: a plain name
  bool ok = false;
  std::string detail;  // the summary of its backup
};

struct Project {
  int version = 1;
  std::string nameSpace;
  std::string created;  // UTC, ISO 8601
  std::vector<ProjectMember> members;
};

std::string ProjectPath(const std::string& dir);
// Whether DIR holds a project file (of any content).
bool IsProjectDirectory(const std::string& dir);
// Written and read as the manifest is (atomically; only a regular file of bounded size).
// Reading refuses member directories that are not plain names.
bool WriteProject(const std::string& dir, const Project& project, std::string& error);
bool ReadProject(const std::string& dir, Project& project, std::string& error);
std::string ProjectText(const Project& project);
bool ParseProject(const std::string& text, Project& project, std::string& error);

// Claims snapshotted by the backups made so far: claim -> deployment config whose backup
// holds the snapshot.
using SharedClaims = std::map<std::string, std::string>;

// What the backup of one deployment config came to.
struct BackupResult {
  bool ok = false;  // complete
  int code = kExitFailed;
  std::string detail;
  std::vector<std::string> claims;  // the claims whose snapshots it holds
};

// The backup of the deployment config the invocation names, skipping the claims of `shared`.
BackupResult BackupOne(Context& context, const SharedClaims& shared);
// Its --dry-run: prints the plan; adds the claims it would snapshot to `shared`.
int BackupPlan(Context& context, SharedClaims& shared);
// Whether a backup may be written into `dir`: false when a backup there holds snapshots that
// are not released (or a manifest that cannot be read), with `error` saying so.
bool BackupDirectoryIsFree(const std::string& dir, std::string& error);
// Release of one deployment config's backup in `dir`.
int ReleaseOne(Context& context, const std::string& dir);
// Restore of the deployment config the invocation names from invocation.from. `restored`
// maps the claims restored so far (by the saved name) to the claims used; the claims this
// restore prepares are added. A claim whose snapshot another backup holds is taken from
// `restored`; in a project (`inProject`) its absence fails the restore.
int RestoreOne(Context& context, std::map<std::string, std::string>& restored, bool inProject);

int BackupProject(Context& context);
int ReleaseProject(Context& context);
int RestoreProject(Context& context);
// What the backup in `dir` holds, as "describe" shows it: `value` with `json`, else `text`.
// False when its manifest cannot be read (said on standard error).
bool DescribeBackup(const std::string& dir, bool json, json_spirit::mValue& value,
                    std::string& text);

// The deployment configs of a project directory, each described as "describe" does.
int DescribeProject(const Invocation& invocation);
int VerifyProject(const Invocation& invocation);

}  // namespace wqosctl
