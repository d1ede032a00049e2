#include "tools/wqosctl/podNeeds.h"

#include <sys/stat.h>

#include <algorithm>

#include "wrapper/workflowSupport.h"

namespace wqosctl {

using namespace OpenShiftSDKWrapper;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

const char* const kTokenType = "kubernetes.io/service-account-token";
const char* const kAccountAnnotation = "kubernetes.io/service-account.name";

enum class Lookup { kFound, kMissing, kFailed };

std::string Member(const mObject& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->second.type() == json_spirit::str_type
             ? found->second.get_str()
             : std::string();
}

const mObject& Child(const mObject& object, const char* key) {
  static const mObject empty;
  const auto found = object.find(key);
  return found != object.end() && found->second.type() == json_spirit::obj_type
             ? found->second.get_obj()
             : empty;
}

std::string ObjectPath(const std::string& nameSpace, const char* resource,
                       const std::string& name) {
  return "/api/v1/namespaces/" + nameSpace + "/" + resource + "/" + name;
}

// Reads one object of the core API. A Status answer of code 404 is kMissing.
Lookup GetObject(Session& session, const std::string& path, mObject& object, std::string& error) {
  WQOpenShiftConnection* rest = session.Rest(error);
  if (rest == nullptr) return Lookup::kFailed;
  std::string response;
  const bool sent = rest->get(path, response);
  mValue value;
  if (json_spirit::read_string(response, value) && value.type() == json_spirit::obj_type) {
    object = value.get_obj();
    const auto code = object.find("code");
    if (Member(object, "kind") == "Status" && code != object.end() &&
        code->second.type() == json_spirit::int_type && code->second.get_int() == 404) {
      return Lookup::kMissing;
    }
    if (sent && Member(object, "kind") != "Status") return Lookup::kFound;
  }
  error = "cannot read " + path;
  return Lookup::kFailed;
}

std::string What(const PodNeed& need) {
  return std::string(need.secret ? "secret " : "config map ") + need.name + " (" + need.use + ")";
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// What the backup does with one need: "" to save it, else why not (`problem`: a failure).
std::string Decide(Session& session, const std::string& nameSpace, const PodNeed& need,
                   bool& problem) {
  problem = false;
  if (!IsObjectName(need.name)) {
    problem = true;
    return What(need) + " is not a valid object name";
  }
  mObject object;
  std::string error;
  const Lookup found =
      GetObject(session, ObjectPath(nameSpace, need.secret ? "secrets" : "configmaps", need.name),
                object, error);
  if (found == Lookup::kFailed) {
    problem = true;
    return error;
  }
  if (found == Lookup::kMissing) {
    problem = !need.optional;
    return need.optional ? "warning: optional " + What(need) + " does not exist; not saved"
                         : "required " + What(need) + " does not exist";
  }
  if (need.secret && Member(object, "type") == kTokenType) {
    return What(need) + " holds a token of service account " +
           Member(Child(Child(object, "metadata"), "annotations"), kAccountAnnotation) +
           "; not saved (the cluster issues new tokens)";
  }
  return std::string();
}

}  // namespace

std::vector<PodNeed> PodNeeds(const SPodSpecInfoLib& spec) {
  std::vector<PodNeed> needs;
  const auto add = [&](bool secret, const std::string& name, bool optional,
                       const std::string& use) {
    if (name.empty()) return;
    const auto same = std::find_if(needs.begin(), needs.end(), [&](const PodNeed& need) {
      return need.secret == secret && need.name == name;
    });
    if (same == needs.end()) {
      needs.push_back(PodNeed{secret, name, optional, use});
    } else if (same->optional && !optional) {
      same->optional = false;
      same->use = use;
    }
  };
  for (const SVolumeInfoLib& volume : spec.volumes) {
    add(true, volume.secret.secretName, volume.secret.optional, "volume " + volume.name);
    for (const SVolumeProjectionInfoLib& source : volume.projected.sources) {
      const std::string use = "projected volume " + volume.name;
      add(true, source.secret.name, source.secret.optional, use);
      add(false, source.configMap.name, source.configMap.optional, use);
    }
  }
  for (const SLocalObjectReferenceInfoLib& pull : spec.imagePullSecrets) {
    add(true, pull.name, false, "image pull secret");
  }
  return needs;
}

std::string PodServiceAccount(const SPodSpecInfoLib& spec) {
  return spec.serviceAccountName.empty() ? spec.serviceAccount : spec.serviceAccountName;
}

bool SavePodNeeds(Session& session, const std::string& nameSpace,
                  const SDeploymentConfigInfoLib& config, const std::string& dir,
                  Manifest& manifest, Progress& progress) {
  const SPodSpecInfoLib& spec = config.spec.templateSpec.spec;
  manifest.serviceAccount = PodServiceAccount(spec);
  const std::vector<PodNeed> needs = PodNeeds(spec);
  if (needs.empty() && manifest.serviceAccount.empty()) return true;
  progress.Begin("save the secrets and config maps the pods mount or pull images with");
  std::vector<std::string> problems;
  size_t saved = 0;
  for (const PodNeed& need : needs) {
    const std::string prefix = need.secret ? "secret_" : "configmap_";
    // The library's backup saved it already (an environment reference, a claim volume).
    if (IsRegularFile(dir + "/" + prefix + need.name)) continue;
    bool problem = false;
    const std::string reason = Decide(session, nameSpace, need, problem);
    if (problem) {
      problems.push_back(reason);
      continue;
    }
    if (!reason.empty()) {
      progress.Note(reason);
      continue;
    }
    WQOpenShiftSDKWrapper& sdk = session.Sdk();
    const bool written = need.secret ? sdk.CreateSecretVolumeSnapshot(nameSpace, need.name, "", dir)
                                     : sdk.SaveConfigMap(nameSpace, need.name, "", dir);
    if (!written) {
      problems.push_back("cannot save " + What(need));
      continue;
    }
    progress.Note("saved " + What(need) + " as " + prefix + need.name);
    ++saved;
  }
  if (!manifest.serviceAccount.empty()) {
    progress.Note("the pods run as service account " + manifest.serviceAccount +
                  " (recorded by name)");
  }
  for (const std::string& problem : problems) progress.Note(problem);
  return progress.End(problems.empty(), std::to_string(saved) + " saved");
}

void PlanPodNeeds(Session& session, const std::string& nameSpace,
                  const SDeploymentConfigInfoLib& config, const std::string& dir, Plan& plan) {
  const SPodSpecInfoLib& spec = config.spec.templateSpec.spec;
  for (const PodNeed& need : PodNeeds(spec)) {
    bool problem = false;
    const std::string reason = Decide(session, nameSpace, need, problem);
    if (problem) {
      plan.Problem(reason);
    } else if (!reason.empty()) {
      plan.Object(reason);
    } else {
      plan.File(dir + "/" + (need.secret ? "secret_" : "configmap_") + need.name, What(need));
    }
  }
  const std::string account = PodServiceAccount(spec);
  if (!account.empty()) plan.Object("service account " + account + ": recorded by name");
}

namespace {

// Whether the recorded account exists; `error` when that cannot be told.
Lookup FindAccount(Session& session, const std::string& nameSpace, const std::string& account,
                   std::string& error) {
  if (!IsObjectName(account) || !IsObjectName(nameSpace)) {
    error = "service account " + account + " of the manifest is not a valid name";
    return Lookup::kFailed;
  }
  mObject ignored;
  return GetObject(session, ObjectPath(nameSpace, "serviceaccounts", account), ignored, error);
}

}  // namespace

bool RestoreServiceAccount(Session& session, const std::string& nameSpace, const Manifest& manifest,
                           Progress& progress) {
  const std::string& account = manifest.serviceAccount;
  if (account.empty()) return true;
  progress.Begin("service account " + account + " the pods run as");
  std::string error;
  const Lookup found = FindAccount(session, nameSpace, account, error);
  if (found != Lookup::kMissing) {
    return progress.End(found == Lookup::kFound, found == Lookup::kFound ? "exists" : error);
  }
  mObject metadata;
  metadata["name"] = account;
  mObject body;
  body["apiVersion"] = "v1";
  body["kind"] = "ServiceAccount";
  body["metadata"] = metadata;
  std::string response;
  WQOpenShiftConnection* rest = session.Rest(error);
  const bool created =
      rest != nullptr && rest->post("/api/v1/namespaces/" + nameSpace + "/serviceaccounts",
                                    json_spirit::write_string(mValue(body)), response);
  return progress.End(created, created ? "created without tokens; the cluster issues new ones"
                                       : "cannot create it");
}

void PlanServiceAccount(Session& session, const std::string& nameSpace, const Manifest& manifest,
                        Plan& plan) {
  const std::string& account = manifest.serviceAccount;
  if (account.empty()) return;
  std::string error;
  const Lookup found = FindAccount(session, nameSpace, account, error);
  if (found == Lookup::kFailed) {
    plan.Problem(error);
  } else {
    plan.Object(found == Lookup::kFound
                    ? "service account " + account + " exists"
                    : "create service account " + account + " (empty: the cluster issues tokens)");
  }
}

}  // namespace wqosctl
