#include "simulator/cluster/clusterApi.h"

namespace wqsim {

namespace {

// Not served here; named only in the answer to a create in a namespace that does not exist.
const ResourceType kNamespaces{"namespaces", "Namespace",      "",  "v1", "/api/v1",
                               false,        NameRule::kLabel, true};

// Deployment configs go before pods and claims before endpoints, so that each controller
// finds what it cleans up after.
const ResourceType* const kNamespacedTypes[] = {
    &kDeploymentConfigs, &kPods, &kClaims, &kEndpoints, &kSecrets, &kConfigMaps, &kServiceAccounts};

const char* const kBasePaths[] = {"/api/v1", "/oapi/v1", "/apis/storage.k8s.io/v1"};

ApiAnswer Answer(int status, std::string body) { return ApiAnswer{status, std::move(body)}; }

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t slash = text.find('/', start);
    parts.push_back(
        text.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) return parts;
    start = slash + 1;
  }
}

// Parses a request body that should hold a `kind`; on false `answer` holds the 400 to send.
bool ParseBody(const char* kind, const std::string& body, json::object& object, ApiAnswer& answer) {
  std::string error;
  if (!ParseObject(body, object, error)) {
    answer = Answer(
        400, BadRequestStatus(std::string("the object provided is unrecognized (must be of type ") +
                              kind + "): couldn't get version/kind; json parse error: " + error));
    return false;
  }
  const std::string sent = StringAt(object, "kind");
  if (!sent.empty() && sent != kind) {
    answer = Answer(
        400, BadRequestStatus(std::string("the object provided is unrecognized (must be of type ") +
                              kind + "): it says it is a " + sent));
    return false;
  }
  return true;
}

// A body naming another namespace than the request path is refused.
bool NamespaceMatches(const ResourceType& type, const std::string& ns, const json::object& object,
                      ApiAnswer& answer) {
  const std::string sent = NamespaceOf(object);
  if (!type.namespaced || sent.empty() || sent == ns) return true;
  answer = Answer(400, BadRequestStatus("the namespace of the provided object does not match the "
                                        "namespace sent on the request"));
  return false;
}

json::object ListItem(const json::object& object) {
  json::object item = object;
  RemoveMember(item, "kind");
  RemoveMember(item, "apiVersion");
  return item;
}

}  // namespace

struct ClusterApi::Route {
  const ResourceType* type = nullptr;
  std::string ns;
  std::string name;               // empty for a collection
  bool scale = false;             // the deployment config's scale subresource
  bool acrossNamespaces = false;  // a namespaced collection listed in every namespace
};

ClusterApi::ClusterApi(ClusterSettings settings)
    : provisioner_(store_, ProvisionerSettings{settings.claimBindReads, settings.storageNodes,
                                               settings.storageHook}),
      deployments_(store_, settings.scaleReads) {}

bool ClusterApi::ParseRoute(const std::string& path, Route& route) {
  std::string rest;
  std::string base;
  for (const char* candidate : kBasePaths) {
    const std::string prefix = std::string(candidate) + "/";
    if (path.compare(0, prefix.size(), prefix) == 0) {
      base = candidate;
      rest = path.substr(prefix.size());
    }
  }
  if (base.empty()) return false;
  const std::vector<std::string> parts = Split(rest);
  for (const std::string& part : parts) {
    if (part.empty()) return false;
  }
  if (parts[0] == "namespaces" && parts.size() >= 3) {
    route.type = FindResourceType(base, parts[2]);
    if (route.type == nullptr || !route.type->namespaced || parts.size() > 5) return false;
    route.ns = parts[1];
    if (parts.size() >= 4) route.name = parts[3];
    if (parts.size() == 5) {
      if (parts[4] != "scale" || route.type != &kDeploymentConfigs) return false;
      route.scale = true;
    }
    return true;
  }
  route.type = FindResourceType(base, parts[0]);
  if (route.type == nullptr || parts.size() > 2) return false;
  if (route.type->namespaced) {
    route.acrossNamespaces = true;
    return parts.size() == 1;
  }
  if (parts.size() == 2) route.name = parts[1];
  return true;
}

bool ClusterApi::Serve(const ApiRequest& request, ApiAnswer& answer) {
  Route route;
  if (!ParseRoute(request.path, route)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string& method = request.method;
  if (route.scale) {
    if (method == "GET") {
      answer = GetScale(route);
    } else if (method == "PUT") {
      answer = PutScale(route, request.body);
    } else {
      answer = Answer(405, MethodNotAllowedStatus());
    }
  } else if (route.name.empty()) {
    if (method == "GET") {
      answer = List(route, request.path);
    } else if (method == "POST" && !route.acrossNamespaces) {
      json::object object;
      if (ParseBody(route.type->kind, request.body, object, answer) &&
          NamespaceMatches(*route.type, route.ns, object, answer)) {
        answer = CreateObject(*route.type, route.ns, std::move(object));
      }
    } else {
      answer = Answer(405, MethodNotAllowedStatus());
    }
  } else if (method == "GET") {
    answer = Get(route);
  } else if (method == "PUT") {
    answer = Replace(route, request.body);
  } else if (method == "DELETE") {
    answer = Delete(route, request.body);
  } else {
    answer = Answer(405, MethodNotAllowedStatus());
  }
  if (request.pretty) answer.body = WriteJson(json::parse(answer.body), true);
  return true;
}

bool ClusterApi::Create(const ResourceType& type, const std::string& ns, const json::object& object,
                        std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  ApiAnswer answer;
  if (!NamespaceMatches(type, ns, object, answer)) {
    error = answer.body;
    return false;
  }
  answer = CreateObject(type, ns, object);
  if (answer.status != 201) error = answer.body;
  return answer.status == 201;
}

void ClusterApi::Settle() {
  std::lock_guard<std::mutex> lock(mutex_);
  provisioner_.Settle();
  deployments_.Settle();
}

std::vector<std::string> ClusterApi::LiveVolumes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return provisioner_.LiveVolumes();
}

void ClusterApi::ObjectRead(const ResourceType& type, json::object& object) {
  if (&type == &kClaims) provisioner_.ClaimRead(object);
  if (&type == &kDeploymentConfigs) deployments_.Read(object);
  if (&type == &kPods) deployments_.PodRead(object);
}

ApiAnswer ClusterApi::List(const Route& route, const std::string& path) {
  json::array items;
  for (json::object* object : store_.List(*route.type, route.ns)) {
    ObjectRead(*route.type, *object);
    items.push_back(ListItem(*object));
  }
  json::object list{
      {"kind", std::string(route.type->kind) + "List"},
      {"apiVersion", route.type->apiVersion},
      {"metadata", json::object{{"selfLink", path}, {"resourceVersion", store_.CurrentVersion()}}},
      {"items", std::move(items)}};
  return Answer(200, WriteJson(list));
}

ApiAnswer ClusterApi::Get(const Route& route) {
  json::object* object = store_.Find(*route.type, route.ns, route.name);
  if (object == nullptr) return Answer(404, NotFoundStatus(*route.type, route.name));
  ObjectRead(*route.type, *object);
  return Answer(200, WriteJson(*object));
}

ApiAnswer ClusterApi::CreateObject(const ResourceType& type, const std::string& ns,
                                   json::object object) {
  json::object& metadata = EnsureObject(object, "metadata");
  std::string name = StringAt(metadata, "name");
  const std::string generateName = StringAt(metadata, "generateName");
  if (name.empty() && !generateName.empty()) {
    do {
      name = generateName + RandomNameSuffix(5);
    } while (store_.Find(type, ns, name) != nullptr);
    metadata["name"] = name;
  }
  if (name.empty()) {
    return Answer(422, InvalidStatus(type, name, "metadata.name", "FieldValueRequired",
                                     "Required value: name or generateName is required"));
  }
  const std::string problem = NameProblem(type.nameRule, name);
  if (!problem.empty()) {
    return Answer(422, InvalidStatus(type, name, "metadata.name", "FieldValueInvalid",
                                     "Invalid value: \"" + name + "\": " + problem));
  }
  if (type.namespaced && store_.Find(kProjects, "", ns) == nullptr) {
    return Answer(404, NotFoundStatus(kNamespaces, ns));
  }
  if (store_.Find(type, ns, name) != nullptr) return Answer(409, AlreadyExistsStatus(type, name));

  // The server owns these statuses: whatever a client sends is dropped.
  if (type.serverStatus) RemoveMember(object, "status");
  if (&type == &kDeploymentConfigs) DeploymentController::ApplyDefaults(object);
  if (&type == &kPods) deployments_.StartPod(ns, object);
  if (&type == &kProjects) {
    json::object& spec = EnsureObject(object, "spec");
    if (!spec.contains("finalizers"))
      spec["finalizers"] = json::array{"openshift.io/origin", "kubernetes"};
    object["status"] = json::object{{"phase", "Active"}};
  }
  if (&type == &kVolumes) provisioner_.VolumeCreated(object);
  json::object& stored = store_.Insert(type, ns, std::move(object));
  if (&type == &kClaims) provisioner_.ClaimCreated(stored);
  if (&type == &kDeploymentConfigs) deployments_.Created(stored);
  return Answer(201, WriteJson(stored));
}

ApiAnswer ClusterApi::Replace(const Route& route, const std::string& body) {
  const ResourceType& type = *route.type;
  json::object object;
  ApiAnswer refused;
  if (!ParseBody(type.kind, body, object, refused) ||
      !NamespaceMatches(type, route.ns, object, refused)) {
    return refused;
  }
  const std::string name = NameOf(object);
  if (name != route.name) {
    return Answer(400,
                  BadRequestStatus("the name of the object (" + name +
                                   ") does not match the name on the URL (" + route.name + ")"));
  }
  json::object* stored = store_.Find(type, route.ns, name);
  if (stored == nullptr) {
    // Endpoints are the one kind here that a replace may create.
    if (&type == &kEndpoints) {
      RemoveMember(EnsureObject(object, "metadata"), "resourceVersion");
      return CreateObject(type, route.ns, std::move(object));
    }
    return Answer(404, NotFoundStatus(type, name));
  }
  const std::string sentVersion = ResourceVersionOf(object);
  if (!sentVersion.empty() && sentVersion != ResourceVersionOf(*stored)) {
    return Answer(409, ConflictStatus(type, name));
  }
  if (&type == &kDeploymentConfigs) DeploymentController::ApplyDefaults(object);
  const json::object previous = *stored;
  json::object& replaced = store_.Replace(type, route.ns, std::move(object));
  if (&type == &kDeploymentConfigs) deployments_.Replaced(previous, replaced);
  return Answer(200, WriteJson(replaced));
}

void ClusterApi::RemoveObject(const ResourceType& type, const std::string& ns,
                              const std::string& name, json::object& removed) {
  if (!store_.Remove(type, ns, name, removed)) return;
  if (&type == &kClaims) provisioner_.ClaimDeleted(removed);
  if (&type == &kDeploymentConfigs) deployments_.Deleted(removed);
  if (&type == &kProjects) {
    for (const ResourceType* inner : kNamespacedTypes) {
      std::vector<std::string> names;
      for (const json::object* object : store_.List(*inner, name)) names.push_back(NameOf(*object));
      for (const std::string& innerName : names) {
        json::object gone;
        RemoveObject(*inner, name, innerName, gone);
      }
    }
  }
}

ApiAnswer ClusterApi::Delete(const Route& route, const std::string& body) {
  const ResourceType& type = *route.type;
  if (!body.empty()) {
    json::object options;
    ApiAnswer refused;
    if (!ParseBody("DeleteOptions", body, options, refused)) return refused;
  }
  json::object removed;
  if (store_.Find(type, route.ns, route.name) == nullptr) {
    return Answer(404, NotFoundStatus(type, route.name));
  }
  RemoveObject(type, route.ns, route.name, removed);
  if (&type == &kProjects) {
    return Answer(200, WriteJson(json::object{{"kind", "Status"},
                                              {"apiVersion", "v1"},
                                              {"metadata", json::object()},
                                              {"status", "Success"},
                                              {"code", 200}}));
  }
  if (&type == &kPods) {
    // A pod's deletion is graceful: the answer is the pod, marked for deletion.
    json::object& metadata = EnsureObject(removed, "metadata");
    metadata["deletionTimestamp"] = NowTimestamp();
    metadata["deletionGracePeriodSeconds"] = 30;
    store_.Touch(removed);
    NormaliseObject(removed);
    return Answer(200, WriteJson(removed));
  }
  return Answer(200, DeletedStatus(type, route.name, UidOf(removed)));
}

ApiAnswer ClusterApi::GetScale(const Route& route) {
  json::object* config = store_.Find(kDeploymentConfigs, route.ns, route.name);
  if (config == nullptr) return Answer(404, NotFoundStatus(kDeploymentConfigs, route.name));
  deployments_.Read(*config);
  return Answer(200, WriteJson(DeploymentController::ScaleOf(*config)));
}

ApiAnswer ClusterApi::PutScale(const Route& route, const std::string& body) {
  json::object scale;
  ApiAnswer refused;
  if (!ParseBody("Scale", body, scale, refused)) return refused;
  json::object* config = store_.Find(kDeploymentConfigs, route.ns, route.name);
  if (config == nullptr) return Answer(404, NotFoundStatus(kDeploymentConfigs, route.name));
  const std::string sentVersion = ResourceVersionOf(scale);
  if (!sentVersion.empty() && sentVersion != ResourceVersionOf(*config)) {
    return Answer(409, ConflictStatus(kDeploymentConfigs, route.name));
  }
  const json::object* spec = ObjectAt(scale, "spec");
  deployments_.Scaled(*config, spec != nullptr ? IntAt(*spec, "replicas") : 0);
  return Answer(200, WriteJson(DeploymentController::ScaleOf(*config)));
}

}  // namespace wqsim
