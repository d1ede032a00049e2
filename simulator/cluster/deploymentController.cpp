#include "simulator/cluster/deploymentController.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace wqsim {

namespace {

const char* const kNodeName = "localhost";
const char* const kHostIp = "127.0.0.1";
const char* const kDeployerImage = "openshift/origin-deployer:v3.11";
const char* const kConfigAnnotation = "openshift.io/deployment-config.name";
const char* const kDeploymentAnnotation = "openshift.io/deployment.name";
const char* const kVersionAnnotation = "openshift.io/deployment-config.latest-version";
const char* const kDeployerLabel = "openshift.io/deployer-pod-for.name";

std::string Deployment(const std::string& config, std::int64_t version) {
  return config + "-" + std::to_string(version);
}

const json::object& Empty() {
  static const json::object empty;
  return empty;
}

const json::object& Member(const json::object& object, const char* key) {
  const json::object* member = ObjectAt(object, key);
  return member != nullptr ? *member : Empty();
}

const json::object& Template(const json::object& config) {
  return Member(Member(config, "spec"), "template");
}

std::int64_t LatestVersion(const json::object& config) {
  return IntAt(Member(config, "status"), "latestVersion");
}

// The version of `config` that `pod` belongs to, or -1 when it is not one of its pods.
std::int64_t PodVersion(const json::object& pod, const std::string& config) {
  const std::string deployment =
      StringAt(Member(Member(pod, "metadata"), "annotations"), kDeploymentAnnotation);
  const std::string prefix = config + "-";
  if (deployment.compare(0, prefix.size(), prefix) != 0 || deployment.size() == prefix.size()) {
    return -1;
  }
  const std::string digits = deployment.substr(prefix.size());
  if (!std::all_of(digits.begin(), digits.end(),
                   [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
    return -1;
  }
  return std::stoll(digits);
}

bool IsDeployer(const json::object& pod) {
  return Member(Member(pod, "metadata"), "labels").contains(kDeployerLabel);
}

json::array Conditions(const std::string& now, bool podReady, const char* reason = "PodCompleted") {
  json::array conditions;
  for (const char* type : {"Initialized", "Ready", "ContainersReady", "PodScheduled"}) {
    const bool holds =
        podReady || std::string(type) == "Initialized" || std::string(type) == "PodScheduled";
    json::object condition{{"type", type},
                           {"status", holds ? "True" : "False"},
                           {"lastProbeTime", nullptr},
                           {"lastTransitionTime", now}};
    if (!holds) condition["reason"] = reason;
    conditions.push_back(std::move(condition));
  }
  return conditions;
}

const json::array& Items(const json::object& object, const char* key) {
  static const json::array empty;
  const json::array* items = ArrayAt(object, key);
  return items != nullptr ? *items : empty;
}

const json::object& AsObject(const json::value& value) {
  const json::object* object = value.if_object();
  return object != nullptr ? *object : Empty();
}

// Service accounts every project has from its start.
bool IsBuiltInAccount(const std::string& name) {
  return name == "default" || name == "builder" || name == "deployer";
}

}  // namespace

std::string DeploymentController::MissingNeed(const std::string& ns, const json::object& spec) {
  std::string missing;
  // `reference` names the object under `key`; an optional reference may be missing.
  const auto need = [&](const ResourceType& type, const json::object& reference, const char* key) {
    const std::string name = StringAt(reference, key);
    const json::value* optional = reference.if_contains("optional");
    if (!missing.empty() || name.empty() ||
        (optional != nullptr && optional->is_bool() && optional->as_bool())) {
      return;
    }
    if (store_.Find(type, ns, name) == nullptr) missing = std::string(type.kind) + " " + name;
  };
  for (const json::value& entry : Items(spec, "volumes")) {
    const json::object& volume = AsObject(entry);
    need(kSecrets, Member(volume, "secret"), "secretName");
    need(kConfigMaps, Member(volume, "configMap"), "name");
    need(kClaims, Member(volume, "persistentVolumeClaim"), "claimName");
    for (const json::value& source : Items(Member(volume, "projected"), "sources")) {
      need(kSecrets, Member(AsObject(source), "secret"), "name");
      need(kConfigMaps, Member(AsObject(source), "configMap"), "name");
    }
  }
  for (const json::value& entry : Items(spec, "imagePullSecrets")) {
    need(kSecrets, AsObject(entry), "name");
  }
  for (const char* list : {"initContainers", "containers"}) {
    for (const json::value& entry : Items(spec, list)) {
      for (const json::value& from : Items(AsObject(entry), "envFrom")) {
        need(kSecrets, Member(AsObject(from), "secretRef"), "name");
        need(kConfigMaps, Member(AsObject(from), "configMapRef"), "name");
      }
      for (const json::value& variable : Items(AsObject(entry), "env")) {
        const json::object& from = Member(AsObject(variable), "valueFrom");
        need(kSecrets, Member(from, "secretKeyRef"), "name");
        need(kConfigMaps, Member(from, "configMapKeyRef"), "name");
      }
    }
  }
  std::string account = StringAt(spec, "serviceAccountName");
  if (account.empty()) account = StringAt(spec, "serviceAccount");
  if (!IsBuiltInAccount(account)) need(kServiceAccounts, json::object{{"name", account}}, "name");
  return missing;
}

void DeploymentController::PodRead(json::object& pod) {
  if (StringAt(Member(pod, "status"), "phase") != "Pending" ||
      Member(pod, "metadata").contains("deletionTimestamp") ||
      !MissingNeed(NamespaceOf(pod), Member(pod, "spec")).empty()) {
    return;
  }
  StartPod(NamespaceOf(pod), pod);
  store_.Touch(pod);
}

DeploymentController::DeploymentController(ClusterStore& store, int scaleReads)
    : store_(store), scaleReads_(scaleReads) {}

void DeploymentController::ApplyDefaults(json::object& config) {
  json::object& spec = EnsureObject(config, "spec");
  if (!spec.contains("strategy")) {
    spec["strategy"] = json::object{{"type", "Rolling"},
                                    {"rollingParams", json::object{{"updatePeriodSeconds", 1},
                                                                   {"intervalSeconds", 1},
                                                                   {"timeoutSeconds", 600},
                                                                   {"maxUnavailable", "25%"},
                                                                   {"maxSurge", "25%"}}},
                                    {"resources", json::object()},
                                    {"activeDeadlineSeconds", 21600}};
  }
  if (!spec.contains("triggers"))
    spec["triggers"] = json::array{json::object{{"type", "ConfigChange"}}};
  if (!spec.contains("replicas")) spec["replicas"] = 0;
  if (!spec.contains("test")) spec["test"] = false;
  const json::object* labels = ObjectAt(Member(Template(config), "metadata"), "labels");
  if (!spec.contains("selector") && labels != nullptr) spec["selector"] = *labels;
  OrderMembers(spec, {"strategy", "minReadySeconds", "triggers", "replicas", "revisionHistoryLimit",
                      "test", "paused", "selector", "template"});
}

void DeploymentController::Created(json::object& config) {
  config["status"] = json::object{{"latestVersion", 0}};
  BumpGeneration(config);
  Rollout(config);
}

void DeploymentController::Replaced(const json::object& previous, json::object& config) {
  const json::object& oldSpec = Member(previous, "spec");
  const json::object& newSpec = Member(config, "spec");
  if (oldSpec == newSpec) return;
  // Decided before the generation changes: that reorders `config`, and `newSpec` with it.
  const bool newTemplate = Member(oldSpec, "template") != Member(newSpec, "template");
  const bool newReplicas = IntAt(oldSpec, "replicas") != IntAt(newSpec, "replicas");
  BumpGeneration(config);
  if (newTemplate) {
    readsLeft_.erase(UidOf(config));
    Rollout(config);
  } else if (newReplicas) {
    readsLeft_[UidOf(config)] = scaleReads_;
  }
}

void DeploymentController::Scaled(json::object& config, std::int64_t replicas) {
  json::object& spec = EnsureObject(config, "spec");
  if (IntAt(spec, "replicas") == replicas) return;
  spec["replicas"] = replicas;
  BumpGeneration(config);
  readsLeft_[UidOf(config)] = scaleReads_;
  store_.Touch(config);
}

void DeploymentController::Read(json::object& config) {
  auto pending = readsLeft_.find(UidOf(config));
  if (pending == readsLeft_.end()) return;
  if (pending->second > 0) {
    --pending->second;
    return;
  }
  readsLeft_.erase(pending);
  SyncPods(config);
}

void DeploymentController::Deleted(const json::object& config) {
  readsLeft_.erase(UidOf(config));
  RemovePods(NamespaceOf(config), NameOf(config));
}

void DeploymentController::Settle() {
  for (json::object* config : store_.List(kDeploymentConfigs, "")) {
    if (readsLeft_.erase(UidOf(*config)) > 0) SyncPods(*config);
  }
}

json::object DeploymentController::ScaleOf(const json::object& config) {
  const json::object& metadata = Member(config, "metadata");
  const json::object& selector = Member(Member(config, "spec"), "selector");
  std::string targetSelector;
  for (const auto& label : selector) {
    if (!targetSelector.empty()) targetSelector += ",";
    targetSelector +=
        std::string(label.key()) + "=" + StringAt(selector, std::string(label.key()).c_str());
  }
  json::object scaleMetadata;
  for (const char* key :
       {"name", "namespace", "selfLink", "uid", "resourceVersion", "creationTimestamp"}) {
    const json::value* value = metadata.if_contains(key);
    if (value != nullptr) scaleMetadata[key] = *value;
  }
  scaleMetadata["selfLink"] = StringAt(metadata, "selfLink") + "/scale";
  return json::object{
      {"kind", "Scale"},
      {"apiVersion", "extensions/v1beta1"},
      {"metadata", std::move(scaleMetadata)},
      {"spec", json::object{{"replicas", IntAt(Member(config, "spec"), "replicas")}}},
      {"status", json::object{{"replicas", IntAt(Member(config, "status"), "replicas")},
                              {"selector", selector},
                              {"targetSelector", targetSelector}}}};
}

void DeploymentController::StartPod(const std::string& ns, json::object& pod) {
  const std::string now = NowTimestamp();
  json::object& spec = EnsureObject(pod, "spec");
  if (!spec.contains("restartPolicy")) spec["restartPolicy"] = "Always";
  if (!spec.contains("terminationGracePeriodSeconds")) spec["terminationGracePeriodSeconds"] = 30;
  if (!spec.contains("dnsPolicy")) spec["dnsPolicy"] = "ClusterFirst";
  if (!spec.contains("nodeName")) spec["nodeName"] = kNodeName;
  if (!spec.contains("securityContext")) spec["securityContext"] = json::object();
  if (!spec.contains("schedulerName")) spec["schedulerName"] = "default-scheduler";

  const bool completed = StringAt(spec, "restartPolicy") == "Never" && IsDeployer(pod);
  // Its volumes cannot be mounted (or, without its service account, it cannot be admitted):
  // the pod waits in ContainerCreating, and starts on a read once they all exist.
  const bool waiting = !IsDeployer(pod) && !MissingNeed(ns, spec).empty();
  json::array containerStatuses;
  const json::array* containers = ArrayAt(spec, "containers");
  for (const json::value& entry : containers != nullptr ? *containers : json::array()) {
    const json::object* container = entry.if_object();
    if (container == nullptr) continue;
    const std::string image = StringAt(*container, "image");
    const std::string containerId = "docker://" + RandomHex(64);
    json::object state =
        waiting     ? json::object{{"waiting", json::object{{"reason", "ContainerCreating"}}}}
        : completed ? json::object{{"terminated", json::object{{"exitCode", 0},
                                                               {"reason", "Completed"},
                                                               {"startedAt", now},
                                                               {"finishedAt", now},
                                                               {"containerID", containerId}}}}
                    : json::object{{"running", json::object{{"startedAt", now}}}};
    containerStatuses.push_back(json::object{{"name", StringAt(*container, "name")},
                                             {"state", std::move(state)},
                                             {"lastState", json::object()},
                                             {"ready", !completed && !waiting},
                                             {"restartCount", 0},
                                             {"image", image},
                                             {"imageID", "docker-pullable://" + image},
                                             {"containerID", containerId}});
  }
  const char* phase = waiting ? "Pending" : completed ? "Succeeded" : "Running";
  pod["status"] = json::object{{"phase", phase},
                               {"conditions", waiting ? Conditions(now, false, "ContainersNotReady")
                                                      : Conditions(now, !completed)},
                               {"hostIP", kHostIp},
                               {"podIP", "10.128.0." + std::to_string(nextPodAddress_)},
                               {"startTime", now},
                               {"containerStatuses", std::move(containerStatuses)},
                               {"qosClass", "BestEffort"}};
  nextPodAddress_ = nextPodAddress_ % 250 + 2;
}

void DeploymentController::Rollout(json::object& config) {
  const std::string ns = NamespaceOf(config);
  const std::string name = NameOf(config);
  const std::int64_t version = LatestVersion(config) + 1;
  RemovePods(ns, name);
  controllerUids_[ns + "/" + Deployment(name, version)] = NewUid();
  json::object deployer = DeployerPod(config, version);
  StartPod(ns, deployer);
  store_.Insert(kPods, ns, std::move(deployer));

  const std::string now = NowTimestamp();
  json::object& status = EnsureObject(config, "status");
  status["latestVersion"] = version;
  status["details"] = json::object{{"message", "config change"},
                                   {"causes", json::array{json::object{{"type", "ConfigChange"}}}}};
  status["conditions"] =
      json::array{json::object{{"type", "Available"},
                               {"status", "True"},
                               {"lastUpdateTime", now},
                               {"lastTransitionTime", now},
                               {"message", "Deployment config has minimum availability."}},
                  json::object{{"type", "Progressing"},
                               {"status", "True"},
                               {"lastUpdateTime", now},
                               {"lastTransitionTime", now},
                               {"reason", "NewReplicationControllerAvailable"},
                               {"message", "replication controller \"" + Deployment(name, version) +
                                               "\" successfully rolled out"}}};
  SyncPods(config);
}

void DeploymentController::SyncPods(json::object& config) {
  const std::string ns = NamespaceOf(config);
  const std::string name = NameOf(config);
  const std::int64_t version = LatestVersion(config);
  std::vector<std::string> current;
  for (json::object* pod : store_.List(kPods, ns)) {
    if (!IsDeployer(*pod) && PodVersion(*pod, name) == version) current.push_back(NameOf(*pod));
  }
  const std::int64_t wanted = std::max<std::int64_t>(0, IntAt(Member(config, "spec"), "replicas"));
  while (static_cast<std::int64_t>(current.size()) > wanted) {
    json::object removed;
    store_.Remove(kPods, ns, current.back(), removed);
    current.pop_back();
  }
  while (static_cast<std::int64_t>(current.size()) < wanted) {
    json::object pod = ReplicaPod(config, version);
    current.push_back(NameOf(pod));
    StartPod(ns, pod);
    store_.Insert(kPods, ns, std::move(pod));
  }
  json::object& status = EnsureObject(config, "status");
  const json::value count = wanted;
  status["observedGeneration"] = IntAt(Member(config, "metadata"), "generation");
  for (const char* key : {"replicas", "updatedReplicas", "availableReplicas", "readyReplicas"}) {
    status[key] = count;
  }
  status["unavailableReplicas"] = 0;
  OrderMembers(status, {"latestVersion", "observedGeneration", "replicas", "updatedReplicas",
                        "availableReplicas", "unavailableReplicas", "details", "conditions",
                        "readyReplicas"});
  store_.Touch(config);
}

void DeploymentController::BumpGeneration(json::object& config) {
  json::object& metadata = EnsureObject(config, "metadata");
  metadata["generation"] = IntAt(metadata, "generation") + 1;
  NormaliseObject(config);
}

json::object DeploymentController::ReplicaPod(const json::object& config, std::int64_t version) {
  const std::string ns = NamespaceOf(config);
  const std::string name = NameOf(config);
  const std::string deployment = Deployment(name, version);
  std::string podName;
  do {
    podName = deployment + "-" + RandomNameSuffix(5);
  } while (store_.Find(kPods, ns, podName) != nullptr);

  const json::object& templateMetadata = Member(Template(config), "metadata");
  json::object labels = Member(templateMetadata, "labels");
  labels["deployment"] = deployment;
  labels["deploymentconfig"] = name;
  json::object annotations = Member(templateMetadata, "annotations");
  annotations[kVersionAnnotation] = std::to_string(version);
  annotations[kConfigAnnotation] = name;
  annotations[kDeploymentAnnotation] = deployment;
  annotations["openshift.io/scc"] = "restricted";
  return json::object{
      {"metadata",
       json::object{{"name", podName},
                    {"generateName", deployment + "-"},
                    {"labels", std::move(labels)},
                    {"annotations", std::move(annotations)},
                    {"ownerReferences",
                     json::array{json::object{{"apiVersion", "v1"},
                                              {"kind", "ReplicationController"},
                                              {"name", deployment},
                                              {"uid", controllerUids_[ns + "/" + deployment]},
                                              {"controller", true},
                                              {"blockOwnerDeletion", true}}}}}},
      {"spec", Member(Template(config), "spec")}};
}

json::object DeploymentController::DeployerPod(const json::object& config, std::int64_t version) {
  const std::string ns = NamespaceOf(config);
  const std::string deployment = Deployment(NameOf(config), version);
  json::array env{json::object{{"name", "OPENSHIFT_DEPLOYMENT_NAME"}, {"value", deployment}},
                  json::object{{"name", "OPENSHIFT_DEPLOYMENT_NAMESPACE"}, {"value", ns}}};
  json::object container{{"name", "deployment"},
                         {"image", kDeployerImage},
                         {"env", std::move(env)},
                         {"resources", json::object()},
                         {"terminationMessagePath", "/dev/termination-log"},
                         {"terminationMessagePolicy", "File"},
                         {"imagePullPolicy", "IfNotPresent"}};
  return json::object{
      {"metadata",
       json::object{{"name", deployment + "-deploy"},
                    {"labels", json::object{{kDeployerLabel, deployment}}},
                    {"annotations", json::object{{kDeploymentAnnotation, deployment},
                                                 {"openshift.io/scc", "restricted"}}},
                    {"ownerReferences",
                     json::array{json::object{{"apiVersion", "v1"},
                                              {"kind", "ReplicationController"},
                                              {"name", deployment},
                                              {"uid", controllerUids_[ns + "/" + deployment]}}}}}},
      {"spec", json::object{{"containers", json::array{std::move(container)}},
                            {"restartPolicy", "Never"},
                            {"activeDeadlineSeconds", 21600},
                            {"serviceAccountName", "deployer"},
                            {"serviceAccount", "deployer"}}}};
}

void DeploymentController::RemovePods(const std::string& ns, const std::string& config) {
  std::vector<std::string> owned;
  for (json::object* pod : store_.List(kPods, ns)) {
    if (PodVersion(*pod, config) >= 0) owned.push_back(NameOf(*pod));
  }
  for (const std::string& name : owned) {
    json::object removed;
    store_.Remove(kPods, ns, name, removed);
    controllerUids_.erase(
        ns + "/" +
        StringAt(Member(Member(removed, "metadata"), "annotations"), kDeploymentAnnotation));
  }
}

}  // namespace wqsim
