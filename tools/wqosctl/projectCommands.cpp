// wqosctl on every deployment config of a project: backup --all, restore --all, and release,
// verify and describe of the directory such a backup made. Each deployment config goes
// through the steps of its own command; one that fails does not stop the others.
#include <sys/stat.h>

#include <algorithm>
#include <ctime>

#include "host/safeFiles.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/integrity.h"
#include "tools/wqosctl/project.h"

namespace wqosctl {

using namespace OpenShiftSDKWrapper;
using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// The invocation of one deployment config of the project, on its directory. Snapshot names
// are unique in the storage pool: a given one gets the deployment config's name appended.
Invocation MemberInvocation(const Invocation& invocation, const std::string& dc,
                            const std::string& dir) {
  Invocation one = invocation;
  one.all = false;
  one.positional = {dc};
  (invocation.command == "restore" ? one.from : one.dir) = dir;
  if (!one.snapshotName.empty()) one.snapshotName += "-" + dc;
  return one;
}

// The quiesce annotation is asked of every deployment config; one without it is backed up
// without quiescing.
void DropMissingAnnotations(const SDeploymentConfigInfoLib& config, Invocation& one) {
  if (one.quiesce.empty()) return;
  const auto& annotations = config.metadata.annotations.keyValues;
  const bool has = std::any_of(annotations.begin(), annotations.end(),
                               [&](const SKeyValueInfoLib& e) { return e.key == one.quiesce; });
  if (has) return;
  PrintErr("wqosctl: deployment config " + config.metadata.name + " has no annotation " +
           one.quiesce + ": it is backed up without quiescing\n");
  one.quiesce.clear();
  one.unquiesce.clear();
}

// No backup in the directory, nor in the deployment configs' directories of an earlier
// project backup there, holds snapshots that are not released.
bool ProjectIsFree(const std::string& dir, std::string& error) {
  if (!BackupDirectoryIsFree(dir, error)) return false;
  if (!IsProjectDirectory(dir)) return true;
  Project old;
  if (!ReadProject(dir, old, error)) {
    error = dir + " holds a project file that cannot be read (" + error + "); it is kept";
    return false;
  }
  for (const ProjectMember& member : old.members) {
    if (!BackupDirectoryIsFree(dir + "/" + member.directory, error)) return false;
  }
  return true;
}

// A line per deployment config and the summary line; the exit code.
int ProjectSummary(const std::string& title, const std::vector<ProjectMember>& members,
                   size_t total) {
  size_t failed = total - members.size();
  PrintErr("==> " + title + ": " + std::to_string(total) + " deployment configs\n");
  for (const ProjectMember& member : members) {
    if (!member.ok) ++failed;
    PrintErr("    " + member.deploymentConfig + ": " + (member.ok ? "ok" : "FAILED") +
             (member.detail.empty() ? std::string() : " (" + member.detail + ")") + "\n");
  }
  if (Interrupted()) PrintErr("    interrupted\n");
  if (failed == 0 && total > 0 && !Interrupted()) {
    PrintErr(title + ": ok (" + std::to_string(total) + " deployment configs)\n");
    return kExitOk;
  }
  PrintErr(title + ": FAILED (" + std::to_string(failed) + " of " + std::to_string(total) +
           " deployment configs failed)\n");
  return kExitFailed;
}

int ProjectPlan(Context& context, const std::string& dir,
                const std::vector<SDeploymentConfigInfoLib>& configs) {
  SharedClaims shared;
  int code = kExitOk;
  for (const SDeploymentConfigInfoLib& config : configs) {
    Invocation one = MemberInvocation(context.invocation, config.metadata.name,
                                      dir + "/" + config.metadata.name);
    DropMissingAnnotations(config, one);
    Context oneContext{one, context.session, context.cluster};
    code = std::max(code, BackupPlan(oneContext, shared));
  }
  PrintOut("project file: " + ProjectPath(dir) + "\n");
  return code;
}

// Reads the project file of a directory the command names; false (said) when there is none.
bool LoadProject(const std::string& dir, Project& project) {
  std::string error;
  if (ReadProject(dir, project, error)) return true;
  PrintErr("wqosctl: " + dir + " holds no backup of a project: " + error + "\n");
  return false;
}

}  // namespace

int BackupProject(Context& context) {
  const Invocation& invocation = context.invocation;
  const std::string& ns = invocation.nameSpace;
  const std::string dir = Absolute(invocation.dir);
  std::vector<SDeploymentConfigInfoLib> configs;
  if (!context.session.Sdk().GetDeploymentConfigInfoList(ns, configs, 0) || configs.empty()) {
    PrintErr("wqosctl: project " + ns + " has no deployment configs that can be read\n");
    return kExitFailed;
  }
  if (invocation.dryRun) return ProjectPlan(context, dir, configs);
  std::string error;
  if (!MakePrivateDirectory(dir, error) || !ProjectIsFree(dir, error)) {
    PrintErr("wqosctl: " + error + "\n");
    return kExitFailed;
  }
  // Every deployment config is listed before the first backup starts, so that a release
  // after a crash finds all that were made.
  Project project;
  project.nameSpace = ns;
  project.created = NowUtc();
  for (const SDeploymentConfigInfoLib& config : configs) {
    const std::string& dc = config.metadata.name;
    project.members.push_back({dc, dc, false, IsPlainName(dc) ? "not backed up" : "bad name"});
  }
  if (!WriteProject(dir, project, error)) {
    PrintErr("wqosctl: " + error + "\n");
    return kExitFailed;
  }
  SharedClaims shared;
  InterruptDeferral deferral;
  size_t done = 0;
  for (; done < configs.size() && !Interrupted(); ++done) {
    ProjectMember& member = project.members[done];
    if (!IsPlainName(member.directory)) continue;
    Invocation one =
        MemberInvocation(invocation, member.deploymentConfig, dir + "/" + member.directory);
    DropMissingAnnotations(configs[done], one);
    Context oneContext{one, context.session, context.cluster};
    const BackupResult result = BackupOne(oneContext, shared);
    member.ok = result.ok;
    member.detail = result.detail.empty() ? "see its steps above" : result.detail;
    for (const std::string& claim : result.claims) {
      if (result.ok) shared.emplace(claim, member.deploymentConfig);
    }
    if (!WriteProject(dir, project, error)) PrintErr("wqosctl: " + error + "\n");
  }
  project.members.resize(done);
  return ProjectSummary("backup of project " + ns + " into " + dir, project.members,
                        configs.size());
}

int ReleaseProject(Context& context) {
  const std::string dir = Absolute(context.invocation.dir);
  Project project;
  if (!LoadProject(dir, project)) return kExitFailed;
  std::vector<ProjectMember> results;
  InterruptDeferral deferral;
  for (const ProjectMember& member : project.members) {
    if (Interrupted()) break;
    const std::string memberDir = dir + "/" + member.directory;
    ProjectMember result{member.deploymentConfig, member.directory, true, "no backup was made"};
    if (Exists(ManifestPath(memberDir))) {
      result.ok = ReleaseOne(context, memberDir) == kExitOk;
      result.detail = std::string();
    }
    results.push_back(result);
  }
  return ProjectSummary("release of " + dir, results, project.members.size());
}

int RestoreProject(Context& context) {
  const std::string from = Absolute(context.invocation.from);
  Project project;
  if (!LoadProject(from, project)) return kExitFailed;
  std::map<std::string, std::string> restored;
  std::vector<ProjectMember> results;
  InterruptDeferral deferral;
  for (const ProjectMember& member : project.members) {
    if (Interrupted()) break;
    ProjectMember result{member.deploymentConfig, member.directory, false,
                         "its backup did not complete"};
    if (member.ok) {
      const Invocation one = MemberInvocation(context.invocation, member.deploymentConfig,
                                              from + "/" + member.directory);
      Context oneContext{one, context.session, context.cluster};
      result.ok = RestoreOne(oneContext, restored, true) == kExitOk;
      result.detail = std::string();
    }
    results.push_back(result);
  }
  const std::string what = context.invocation.dryRun ? "plan of the restore of " : "restore of ";
  return ProjectSummary(what + "project " + project.nameSpace + " from " + from + " into " +
                            context.invocation.nameSpace,
                        results, project.members.size());
}

int VerifyProject(const Invocation& invocation) {
  const std::string dir = Absolute(invocation.dir);
  Project project;
  if (!LoadProject(dir, project)) return kExitFailed;
  std::vector<ProjectMember> results;
  for (const ProjectMember& member : project.members) {
    const std::string memberDir = dir + "/" + member.directory;
    // A deployment config whose backup failed early has nothing to verify, as a backup
    // without a data copy has not.
    ProjectMember result{member.deploymentConfig, member.directory, true, "no backup was made"};
    if (Exists(ManifestPath(memberDir))) {
      Invocation one = invocation;
      one.dir = memberDir;
      result.ok = RunVerify(one) == kExitOk;
      result.detail = std::string();
    }
    results.push_back(result);
  }
  return ProjectSummary("verification of " + dir, results, project.members.size());
}

int DescribeProject(const Invocation& invocation) {
  const std::string dir = Absolute(invocation.dir);
  Project project;
  if (!LoadProject(dir, project)) return kExitFailed;
  const bool json = invocation.output == "json";
  mArray members;
  std::vector<std::vector<std::string>> rows = {{"DEPLOYMENT CONFIG", "BACKUP", "DETAIL"}};
  std::string details;
  for (const ProjectMember& member : project.members) {
    mValue backup;
    std::string text;
    const std::string memberDir = dir + "/" + member.directory;
    const bool described =
        Exists(ManifestPath(memberDir)) && DescribeBackup(memberDir, json, backup, text);
    rows.push_back({member.deploymentConfig, member.ok ? "ok" : "failed", member.detail});
    details += "\n" + (described ? text : "No backup in " + memberDir + "\n");
    members.push_back(mObject{{"deploymentConfig", member.deploymentConfig},
                              {"directory", memberDir},
                              {"ok", member.ok},
                              {"detail", member.detail},
                              {"backup", described ? backup : mValue()}});
  }
  if (json) {
    const mObject out{{"directory", dir},
                      {"namespace", project.nameSpace},
                      {"created", project.created},
                      {"deploymentConfigs", members}};
    PrintOut(json_spirit::write_string(mValue(out), json_spirit::pretty_print) + "\n");
  } else {
    PrintOut("Project backup in " + dir + "\n  project            " + project.nameSpace +
             "\n  created            " + project.created + "\n\n" + FormatTable(rows) + details);
  }
  return kExitOk;
}

std::string ProjectPath(const std::string& dir) { return dir + "/project.json"; }

bool IsProjectDirectory(const std::string& dir) { return Exists(ProjectPath(dir)); }

std::string ProjectText(const Project& project) {
  mArray members;
  for (const ProjectMember& member : project.members) {
    members.push_back(mObject{{"deploymentConfig", member.deploymentConfig},
                              {"directory", member.directory},
                              {"ok", member.ok},
                              {"detail", member.detail}});
  }
  const mObject out{{"version", project.version},
                    {"namespace", project.nameSpace},
                    {"created", project.created},
                    {"deploymentConfigs", members}};
  return json_spirit::write_string(mValue(out), json_spirit::pretty_print) + "\n";
}

bool ParseProject(const std::string& text, Project& project, std::string& error) {
  mValue value;
  if (!ReadObject(text, value)) {
    error = "the project file is not a JSON object";
    return false;
  }
  const mObject& in = value.get_obj();
  project = Project();
  project.nameSpace = Text(in, "namespace");
  project.created = Text(in, "created");
  for (const mObject* member : Objects(in, "deploymentConfigs")) {
    project.members.push_back({Text(*member, "deploymentConfig"), Text(*member, "directory"),
                               Flag(*member, "ok"), Text(*member, "detail")});
    // Names become paths below the project directory.
    if (!IsPlainName(project.members.back().directory)) {
      error = "the project file names a directory \"" + project.members.back().directory +
              "\" that is not a plain name";
      return false;
    }
  }
  if (project.nameSpace.empty()) {
    error = "the project file names no namespace";
    return false;
  }
  return true;
}

bool WriteProject(const std::string& dir, const Project& project, std::string& error) {
  return WriteFileAtomically(dir, "project.json", ProjectText(project), 0600, error);
}

bool ReadProject(const std::string& dir, Project& project, std::string& error) {
  std::string text;
  if (!ReadRegularFile(ProjectPath(dir), kManifestReadLimit, text, error)) return false;
  if (ParseProject(text, project, error)) return true;
  error = ProjectPath(dir) + ": " + error;
  return false;
}

}  // namespace wqosctl
