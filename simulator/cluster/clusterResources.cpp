#include "simulator/cluster/clusterResources.h"

#include <cstring>

namespace wqsim {

const ResourceType kPods{"pods", "Pod", "", "v1", "/api/v1", true, NameRule::kSubdomain, true};
const ResourceType kDeploymentConfigs{"deploymentconfigs",  "DeploymentConfig",
                                      "apps.openshift.io",  "v1",
                                      "/oapi/v1",           true,
                                      NameRule::kSubdomain, true};
const ResourceType kClaims{"persistentvolumeclaims",
                           "PersistentVolumeClaim",
                           "",
                           "v1",
                           "/api/v1",
                           true,
                           NameRule::kSubdomain,
                           true};
const ResourceType kVolumes{"persistentvolumes",
                            "PersistentVolume",
                            "",
                            "v1",
                            "/api/v1",
                            false,
                            NameRule::kSubdomain,
                            true};
const ResourceType kEndpoints{"endpoints", "Endpoints",          "",   "v1", "/api/v1",
                              true,        NameRule::kSubdomain, false};
const ResourceType kSecrets{"secrets", "Secret", "", "v1", "/api/v1", true, NameRule::kSubdomain,
                            false};
const ResourceType kConfigMaps{"configmaps", "ConfigMap",          "",   "v1", "/api/v1",
                               true,         NameRule::kSubdomain, false};
const ResourceType kServiceAccounts{
    "serviceaccounts", "ServiceAccount", "", "v1", "/api/v1", true, NameRule::kSubdomain, false};
const ResourceType kProjects{"projects", "Project", "project.openshift.io", "v1",
                             "/oapi/v1", false,     NameRule::kLabel,       true};
const ResourceType kStorageClasses{
    "storageclasses",          "StorageClass", "storage.k8s.io",     "storage.k8s.io/v1",
    "/apis/storage.k8s.io/v1", false,          NameRule::kSubdomain, false};

namespace {

const ResourceType* const kAllTypes[] = {
    &kPods,    &kDeploymentConfigs, &kClaims,   &kVolumes,        &kEndpoints,
    &kSecrets, &kConfigMaps,        &kProjects, &kStorageClasses, &kServiceAccounts};

std::string Qualify(const char* name, const char* group) {
  return *group == '\0' ? std::string(name) : std::string(name) + "." + group;
}

json::object FailureHead(const std::string& message, const char* reason) {
  json::object status;
  status["kind"] = "Status";
  status["apiVersion"] = "v1";
  status["metadata"] = json::object();
  status["status"] = "Failure";
  if (!message.empty()) status["message"] = message;
  status["reason"] = reason;
  return status;
}

json::object Details(const std::string& name, const char* group, const char* kind) {
  json::object details;
  if (!name.empty()) details["name"] = name;
  if (*group != '\0') details["group"] = group;
  details["kind"] = kind;
  return details;
}

std::string ObjectFailure(const ResourceType& type, const std::string& name,
                          const std::string& message, const char* reason, int code) {
  json::object status = FailureHead(message, reason);
  status["details"] = Details(name, type.group, type.resource);
  status["code"] = code;
  return WriteJson(status);
}

bool IsAlphanumeric(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

bool IsLabel(const std::string& text) {
  if (text.empty() || text.size() > 63) return false;
  if (!IsAlphanumeric(text.front()) || !IsAlphanumeric(text.back())) return false;
  for (char c : text) {
    if (!IsAlphanumeric(c) && c != '-') return false;
  }
  return true;
}

bool IsSubdomain(const std::string& text) {
  if (text.empty() || text.size() > 253) return false;
  size_t start = 0;
  for (;;) {
    size_t dot = text.find('.', start);
    if (!IsLabel(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start))) {
      return false;
    }
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
}

}  // namespace

std::string ResourceType::QualifiedResource() const { return Qualify(resource, group); }

std::string ResourceType::QualifiedKind() const { return Qualify(kind, group); }

std::string ResourceType::CollectionPath(const std::string& ns) const {
  std::string path = basePath;
  if (namespaced && !ns.empty()) path += "/namespaces/" + ns;
  return path + "/" + resource;
}

std::string ResourceType::ObjectPath(const std::string& ns, const std::string& name) const {
  return CollectionPath(ns) + "/" + name;
}

const ResourceType* FindResourceType(const std::string& basePath, const std::string& resource) {
  for (const ResourceType* type : kAllTypes) {
    if (basePath == type->basePath && resource == type->resource) return type;
  }
  return nullptr;
}

std::string NameProblem(NameRule rule, const std::string& name) {
  if (rule == NameRule::kLabel) {
    if (IsLabel(name)) return std::string();
    return "a DNS-1123 label must consist of lower case alphanumeric characters or '-', and must "
           "start and end with an alphanumeric character (e.g. 'my-name',  or '123-abc', regex "
           "used for validation is '[a-z0-9]([-a-z0-9]*[a-z0-9])?')";
  }
  if (IsSubdomain(name)) return std::string();
  return "a DNS-1123 subdomain must consist of lower case alphanumeric characters, '-' or '.', and "
         "must start and end with an alphanumeric character (e.g. 'example.com', regex used for "
         "validation is '[a-z0-9]([-a-z0-9]*[a-z0-9])?(\\.[a-z0-9]([-a-z0-9]*[a-z0-9])?)*')";
}

std::string NotFoundStatus(const ResourceType& type, const std::string& name) {
  return ObjectFailure(type, name, type.QualifiedResource() + " \"" + name + "\" not found",
                       "NotFound", 404);
}

std::string AlreadyExistsStatus(const ResourceType& type, const std::string& name) {
  return ObjectFailure(type, name, type.QualifiedResource() + " \"" + name + "\" already exists",
                       "AlreadyExists", 409);
}

std::string ConflictStatus(const ResourceType& type, const std::string& name) {
  return ObjectFailure(type, name,
                       "Operation cannot be fulfilled on " + type.QualifiedResource() + " \"" +
                           name +
                           "\": the object has been modified; please apply your changes to the "
                           "latest version and try again",
                       "Conflict", 409);
}

std::string InvalidStatus(const ResourceType& type, const std::string& name,
                          const std::string& field, const std::string& causeReason,
                          const std::string& detail) {
  json::object status = FailureHead(
      type.QualifiedKind() + " \"" + name + "\" is invalid: " + field + ": " + detail, "Invalid");
  // An invalid object is named by its kind, not its resource.
  json::object details = Details(name, type.group, type.kind);
  json::object cause;
  cause["reason"] = causeReason;
  cause["message"] = detail;
  cause["field"] = field;
  details["causes"] = json::array{cause};
  status["details"] = std::move(details);
  status["code"] = 422;
  return WriteJson(status);
}

std::string BadRequestStatus(const std::string& message) { return StatusForCode(400, message); }

std::string MethodNotAllowedStatus() {
  return StatusForCode(405, "the server does not allow this method on the requested resource");
}

std::string DeletedStatus(const ResourceType& type, const std::string& name,
                          const std::string& uid) {
  json::object status;
  status["kind"] = "Status";
  status["apiVersion"] = "v1";
  status["metadata"] = json::object();
  status["status"] = "Success";
  json::object details = Details(name, type.group, type.resource);
  if (!uid.empty()) details["uid"] = uid;
  status["details"] = std::move(details);
  return WriteJson(status);
}

std::string StatusForCode(int code, const std::string& message) {
  struct Reason {
    int code;
    const char* reason;
  };
  static const Reason reasons[] = {{400, "BadRequest"},
                                   {401, "Unauthorized"},
                                   {403, "Forbidden"},
                                   {404, "NotFound"},
                                   {405, "MethodNotAllowed"},
                                   {409, "Conflict"},
                                   {410, "Gone"},
                                   {422, "Invalid"},
                                   {429, "TooManyRequests"},
                                   {500, "InternalError"},
                                   {503, "ServiceUnavailable"},
                                   {504, "Timeout"}};
  const char* reason = "";
  for (const Reason& entry : reasons) {
    if (entry.code == code) reason = entry.reason;
  }
  json::object status = FailureHead(message, reason);
  if (*reason == '\0') RemoveMember(status, "reason");
  // The server writes empty details for errors that name no object.
  if (code == 403 || code == 404 || code == 405) status["details"] = json::object();
  status["code"] = code;
  return WriteJson(status);
}

}  // namespace wqsim
