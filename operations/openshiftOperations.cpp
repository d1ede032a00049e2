#include "operations/openshiftOperations.h"

#include "connection/openshiftConnection.h"
#include "connection/textSafety.h"
#include "host/luSleep.h"
#include "host/settings.h"
#include "host/strFormat.h"
#include "operations/logContexts.h"
#include "queries/openshiftQueries.h"
#include "queries/resourcePaths.h"

// Error lines carry the operation's full signature as their context.
namespace OpenShiftSDKWrapper {

namespace {

using ResourcePath::Collection;
using ResourcePath::kCoreNamespaces;
using ResourcePath::kOapiNamespaces;
using ResourcePath::Object;

constexpr unsigned long kPollIntervalMs = 10000;
// 60 reads at the 10-second interval: ten minutes before a wait gives up.
constexpr long kDefaultWaitPolls = 60;

enum class PollState { Failed, Waiting, Done };

// For the writes that have no Prepare step.
bool NothingToPrepare() { return true; }

}  // namespace

// Messages of one REST write, logged under `context` for the step that fails.
struct WQOpenShiftOperations::WriteSteps {
  const char* context;
  const char* prepareFailed;  // "" for the writes without one: it goes to a "%s"
  const char* serializeFailed;
  const char* requestFailed;
  bool logBody;  // log the serialized body just before sending it
};

// What differs between creating-or-updating a secret and a config map.
struct WQOpenShiftOperations::CreateOrUpdateSteps {
  const char* context;
  const char* kind;   // the collection below the namespace
  bool holdsSecrets;  // responses are logged without what a Secret holds
  bool (WQOpenShiftParser::*prepare)(const std::string& ns, std::string& json) const;
  bool (WQOpenShiftQueries::*get)(const std::string& ns, const std::string& name, std::string& json,
                                  UINT64 reserved);
  const char* updateFailed;
  const char* updated;
  const char* createFailed;
  const char* created;
};

WQOpenShiftOperations::WQOpenShiftOperations(WQOpenShiftConnection* connection,
                                             WQOpenShiftParser* parser, WQOpenShiftQueries* queries)
    : DebugLog(nullptr), connection(connection), parser(parser), queries(queries) {}

WQOpenShiftOperations::~WQOpenShiftOperations() = default;

template <typename Prepare, typename Serialize, typename Send>
bool WQOpenShiftOperations::SendRecord(const WriteSteps& steps, Prepare prepare,
                                       Serialize serialize, Send send,
                                       const ResourcePath::Path& path) {
  if (path.Refused()) {
    Error(steps.context, "%s", path.refusal.c_str());
    return false;
  }
  if (!prepare()) {
    Error(steps.context, "%s", steps.prepareFailed);
    return false;
  }
  std::string body;
  if (!serialize(body)) {
    Error(steps.context, "%s", steps.serializeFailed);
    return false;
  }
  if (steps.logBody) Error(steps.context, "body [%s]", body.c_str());
  // The response is not examined: the transport's result alone decides.
  std::string response;
  if (!(connection->*send)(path.text, body, response)) {
    Error(steps.context, "%s", steps.requestFailed);
    return false;
  }
  return true;
}

bool WQOpenShiftOperations::CreateDeploymentConfig(const std::string& ns,
                                                   SDeploymentConfigInfoLib& deploymentConfig) {
  static const WriteSteps steps{
      OperationContexts::kCreateDeploymentConfig, "Failed to PrepareDeploymentConfig",
      "Failed to SerializeDeploymentConfig", "Failed to CreateDeploymentConfig", false};
  return SendRecord(
      steps, [&] { return parser->PrepareDeploymentConfig(deploymentConfig); },
      [&](std::string& body) { return parser->SerializeDeploymentConfig(deploymentConfig, body); },
      &WQOpenShiftConnection::post, Collection(kOapiNamespaces, ns, "deploymentconfigs"));
}

bool WQOpenShiftOperations::UpdateDeploymentConfig(const std::string& ns, const std::string& name,
                                                   SDeploymentConfigInfoLib& deploymentConfig,
                                                   SDeploymentConfigInfoLib& current) {
  static const WriteSteps steps{
      OperationContexts::kUpdateDeploymentConfig, "Failed to PrepareDeploymentConfig",
      "Failed to SerializeDeploymentConfig", "Failed to UpdateDeploymentConfig", false};
  return SendRecord(
      steps, [&] { return parser->PrepareDeploymentConfig(deploymentConfig, current); },
      [&](std::string& body) { return parser->SerializeDeploymentConfig(deploymentConfig, body); },
      &WQOpenShiftConnection::put, Object(kOapiNamespaces, ns, "deploymentconfigs", name));
}

bool WQOpenShiftOperations::ScaleDeploymentConfig(const std::string& ns, const std::string& name,
                                                  SScaleInfoLib& scale) {
  static const WriteSteps steps{OperationContexts::kScaleDeploymentConfig, "",
                                "Failed to SerializeScale", "Failed to ScaleDeploymentConfig",
                                false};
  if (!SendRecord(
          steps, NothingToPrepare,
          [&](std::string& body) { return parser->SerializeScale(scale, body); },
          &WQOpenShiftConnection::put,
          Object(kOapiNamespaces, ns, "deploymentconfigs", name, "scale"))) {
    return false;
  }
  if (WaitForScaleReplica(ns, name, scale)) return true;
  Error(steps.context, "Failed to check status of DeploymentConfig");
  return false;
}

bool WQOpenShiftOperations::SendDeleteOptions(const char* context, const char* requestFailed,
                                              SDeleteOptionsInfoLib& options,
                                              const ResourcePath::Path& path) {
  const WriteSteps steps{context, "", "Failed to SerializeDeleteOptions", requestFailed, false};
  return SendRecord(
      steps, NothingToPrepare,
      [&](std::string& body) { return parser->SerializeDeleteOptions(options, body); },
      &WQOpenShiftConnection::deleteCall, path);
}

bool WQOpenShiftOperations::DeleteDeploymentConfig(const std::string& ns, const std::string& name,
                                                   SDeleteOptionsInfoLib& options) {
  return SendDeleteOptions(OperationContexts::kDeleteDeploymentConfig,
                           "Failed to DeleteDeploymentConfig", options,
                           Object(kOapiNamespaces, ns, "deploymentconfigs", name));
}

bool WQOpenShiftOperations::CreatePersistentVolumeClaim(const std::string& ns,
                                                        SPersistentVolumeClaimInfoLib& claim) {
  static const WriteSteps steps{
      OperationContexts::kCreatePersistentVolumeClaim, "Failed to PreparePersistentVolumeClaim",
      "Failed to SerializePersistentVolumeClaim", "Failed to CreatePersistentVolumeClaim", false};
  if (!SendRecord(
          steps, [&] { return parser->PreparePersistentVolumeClaim(claim); },
          [&](std::string& body) { return parser->SerializePersistentVolumeClaim(claim, body); },
          &WQOpenShiftConnection::post,
          Collection(kCoreNamespaces, ns, "persistentvolumeclaims"))) {
    return false;
  }
  if (WaitForPendingPVC(ns, claim.metadata.name)) return true;
  Error(steps.context, "Failed to check status of PersistentVolumeClaim");
  return false;
}

bool WQOpenShiftOperations::UpdatePersistentVolumeClaim(const std::string& ns,
                                                        const std::string& name,
                                                        SPersistentVolumeClaimInfoLib& claim) {
  static const WriteSteps steps{
      OperationContexts::kUpdatePersistentVolumeClaim, "Failed to PreparePersistentVolumeClaim",
      "Failed to SerializePersistentVolumeClaim", "Failed to UpdatePersistentVolumeClaim", true};
  return SendRecord(
      steps, [&] { return parser->PreparePersistentVolumeClaim(claim); },
      [&](std::string& body) { return parser->SerializePersistentVolumeClaim(claim, body); },
      &WQOpenShiftConnection::put, Object(kCoreNamespaces, ns, "persistentvolumeclaims", name));
}

bool WQOpenShiftOperations::DeletePersistentVolumeClaim(const std::string& ns,
                                                        const std::string& name,
                                                        SDeleteOptionsInfoLib& options) {
  return SendDeleteOptions(OperationContexts::kDeletePersistentVolumeClaim,
                           "Failed to DeletePersistentVolumeClaim", options,
                           Object(kCoreNamespaces, ns, "persistentvolumeclaims", name));
}

bool WQOpenShiftOperations::CreatePersistentVolume(SPersistentVolumeInfoLib& volume) {
  static const WriteSteps steps{
      OperationContexts::kCreatePersistentVolume, "Failed to PreparePersistentVolume",
      "Failed to SerializePersistentVolume", "Failed to CreatePersistentVolume", false};
  return SendRecord(
      steps, [&] { return parser->PreparePersistentVolume(volume); },
      [&](std::string& body) { return parser->SerializePersistentVolume(volume, body); },
      &WQOpenShiftConnection::post, ResourcePath::Path{ResourcePath::kPersistentVolumes, {}});
}

bool WQOpenShiftOperations::UpdatePersistentVolume(const std::string& name,
                                                   SPersistentVolumeInfoLib& volume) {
  static const WriteSteps steps{
      OperationContexts::kUpdatePersistentVolume, "Failed to PreparePersistentVolume",
      "Failed to SerializePersistentVolume", "Failed to UpdatePersistentVolume", false};
  return SendRecord(
      steps, [&] { return parser->PreparePersistentVolume(volume); },
      [&](std::string& body) { return parser->SerializePersistentVolume(volume, body); },
      &WQOpenShiftConnection::put,
      ResourcePath::ClusterObject(ResourcePath::kPersistentVolumes, name));
}

bool WQOpenShiftOperations::DeletePersistentVolume(const std::string& name,
                                                   SDeleteOptionsInfoLib& options) {
  return SendDeleteOptions(OperationContexts::kDeletePersistentVolume,
                           "Failed to DeletePersistentVolume", options,
                           ResourcePath::ClusterObject(ResourcePath::kPersistentVolumes, name));
}

bool WQOpenShiftOperations::CreateEndpoints(const std::string& ns, SEndpointsInfoLib& endpoints) {
  static const WriteSteps steps{OperationContexts::kCreateEndpoints, "Failed to PrepareEndpoints",
                                "Failed to SerializeEndpoints", "Failed to CreateEndpoints", false};
  return SendRecord(
      steps, [&] { return parser->PrepareEndpoints(endpoints); },
      [&](std::string& body) { return parser->SerializeEndpoints(endpoints, body); },
      &WQOpenShiftConnection::post, Collection(kCoreNamespaces, ns, "endpoints"));
}

bool WQOpenShiftOperations::UpdateEndpoints(const std::string& ns, const std::string& name,
                                            SEndpointsInfoLib& endpoints) {
  // "Failed to Endpoints" is the wording agents already match in their logs.
  static const WriteSteps steps{OperationContexts::kUpdateEndpoints, "Failed to Endpoints",
                                "Failed to SerializeEndpoints", "Failed to UpdateEndpoints", false};
  return SendRecord(
      steps, [&] { return parser->PrepareEndpoints(endpoints); },
      [&](std::string& body) { return parser->SerializeEndpoints(endpoints, body); },
      &WQOpenShiftConnection::put, Object(kCoreNamespaces, ns, "endpoints", name));
}

bool WQOpenShiftOperations::DeleteEndpoints(const std::string& ns, const std::string& name,
                                            SDeleteOptionsInfoLib& options) {
  return SendDeleteOptions(OperationContexts::kDeleteEndpoints, "Failed to DeleteEndpoints",
                           options, Object(kCoreNamespaces, ns, "endpoints", name));
}

bool WQOpenShiftOperations::CreateOrUpdate(const CreateOrUpdateSteps& steps, const std::string& ns,
                                           const std::string& name, const std::string& json) {
  const ResourcePath::Path object = Object(kCoreNamespaces, ns, steps.kind, name);
  if (object.Refused()) {
    Error(steps.context, "%s", object.refusal.c_str());
    return false;
  }
  std::string body = json;
  // Text the codec cannot take is the caller's to report: nothing is logged or sent.
  if (!(parser->*steps.prepare)(ns, body)) return false;
  // The existence answer and the write's response share one string, so a failed
  // write logs the write's own response. Any failed look-up counts as absence.
  std::string response;
  if ((queries->*steps.get)(ns, name, response, 0)) {
    if (!connection->put(object.text, body, response)) {
      Error(steps.context, steps.updateFailed, name.c_str(), ns.c_str(),
            LoggableBody(response, steps.holdsSecrets).c_str());
      return false;
    }
    Debug(steps.context, steps.updated, name.c_str(), ns.c_str());
    return true;
  }
  if (!connection->post(Collection(kCoreNamespaces, ns, steps.kind).text, body, response)) {
    Error(steps.context, steps.createFailed, name.c_str(), ns.c_str(),
          LoggableBody(response, steps.holdsSecrets).c_str());
    return false;
  }
  Debug(steps.context, steps.created, name.c_str(), ns.c_str());
  return true;
}

bool WQOpenShiftOperations::CreateOrUpdateSecret(const std::string& ns, const std::string& name,
                                                 const std::string& secretJson) {
  static const CreateOrUpdateSteps steps{OperationContexts::kCreateOrUpdateSecret,
                                         "secrets",
                                         true,
                                         &WQOpenShiftParser::PrepareSecret,
                                         &WQOpenShiftQueries::GetSecretInfo,
                                         "Update secret failed [%s]:[%s] resp [%s]",
                                         "Updated secret [%s]:[%s]",
                                         "Create secret failed [%s]:[%s] resp [%s]",
                                         "Created secret [%s]:[%s]"};
  return CreateOrUpdate(steps, ns, name, secretJson);
}

bool WQOpenShiftOperations::CreateOrUpdateConfigMap(const std::string& ns, const std::string& name,
                                                    const std::string& configMapJson) {
  static const CreateOrUpdateSteps steps{OperationContexts::kCreateOrUpdateConfigMap,
                                         "configmaps",
                                         false,
                                         &WQOpenShiftParser::PrepareConfigMap,
                                         &WQOpenShiftQueries::GetConfigMapInfo,
                                         "Update configmap failed [%s]:[%s] resp [%s]",
                                         "Updated configmap [%s]:[%s]",
                                         "Create configmap failed [%s]:[%s] resp [%s]",
                                         "Created configmap [%s]:[%s]"};
  return CreateOrUpdate(steps, ns, name, configMapJson);
}

template <typename Poll>
bool WQOpenShiftOperations::PollUntil(const char* context, const std::string& what, Poll poll) {
  // Read per wait, so an agent can change the bound without reloading the library.
  long limit = Settings::GetInteger("WQOSDK_WAIT_POLLS", kDefaultWaitPolls);
  if (limit < 1) limit = 1;
  for (long polls = 1;; ++polls) {
    switch (poll()) {
      case PollState::Failed:
        return false;
      case PollState::Done:
        return true;
      case PollState::Waiting:
        break;
    }
    if (polls >= limit) {
      Error(context, "Timed out waiting for %s after %ld polls", what.c_str(), polls);
      return false;
    }
    LUSLEEP(kPollIntervalMs, "openshiftOperations", __LINE__);
  }
}

bool WQOpenShiftOperations::WaitForPendingPVC(const std::string& ns, const std::string& name) {
  return PollUntil(
      OperationContexts::kWaitForPendingPVC,
      WqFormat("PersistentVolumeClaim [%s/%s] to leave phase Pending", ns.c_str(), name.c_str()),
      [&] {
        SPersistentVolumeClaimInfoLib claim;
        if (!queries->GetPersistentVolumeClaimInfo(ns, name, claim, 0)) return PollState::Failed;
        return claim.status.phase == "Pending" ? PollState::Waiting : PollState::Done;
      });
}

bool WQOpenShiftOperations::WaitForScaleReplica(const std::string& ns, const std::string& name,
                                                SScaleInfoLib& scale) {
  return PollUntil(OperationContexts::kWaitForScaleReplica,
                   WqFormat("DeploymentConfig [%s/%s] to have %d available replicas", ns.c_str(),
                            name.c_str(), scale.spec.replicas),
                   [&] {
                     SDeploymentConfigInfoLib deploymentConfig;
                     if (!queries->GetDeploymentConfig(ns, name, deploymentConfig, 0))
                       return PollState::Failed;
                     return deploymentConfig.status.availableReplicas == scale.spec.replicas
                                ? PollState::Done
                                : PollState::Waiting;
                   });
}

}  // namespace OpenShiftSDKWrapper
