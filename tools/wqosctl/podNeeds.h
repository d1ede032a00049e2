#pragma once
// What a deployment config's pods need to run besides what the library's deployment backup
// saves: the secrets mounted as volumes, the secrets and config maps of projected volumes,
// the image pull secrets, and the service account the pods run as.
#include <string>
#include <vector>

#include "tools/wqosctl/console.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/plan.h"
#include "tools/wqosctl/session.h"

namespace wqosctl {

struct PodNeed {
  bool secret = true;  // else a config map
  std::string name;
  bool optional = false;
  std::string use;  // how the pods use it, e.g. "volume cert"
};

// Each secret and config map of `spec` that the library's deployment backup does not save,
// once (a required use wins over an optional one), in the order the pod template lists them.
std::vector<PodNeed> PodNeeds(const OpenShiftSDKWrapper::SPodSpecInfoLib& spec);
// The service account the pods name (serviceAccountName, else serviceAccount); may be empty.
std::string PodServiceAccount(const OpenShiftSDKWrapper::SPodSpecInfoLib& spec);

// Backup: writes each need not yet in `dir` as a "secret_" or "configmap_" file and records
// the service account in `manifest`. A secret holding a service account's token is left out;
// a missing optional object is a warning, a missing required one fails the step.
bool SavePodNeeds(Session& session, const std::string& nameSpace,
                  const OpenShiftSDKWrapper::SDeploymentConfigInfoLib& config,
                  const std::string& dir, Manifest& manifest, Progress& progress);
void PlanPodNeeds(Session& session, const std::string& nameSpace,
                  const OpenShiftSDKWrapper::SDeploymentConfigInfoLib& config,
                  const std::string& dir, Plan& plan);

// Restore: creates the recorded service account, empty, when the namespace lacks it, so that
// the cluster issues it fresh tokens.
bool RestoreServiceAccount(Session& session, const std::string& nameSpace, const Manifest& manifest,
                           Progress& progress);
void PlanServiceAccount(Session& session, const std::string& nameSpace, const Manifest& manifest,
                        Plan& plan);

}  // namespace wqosctl
