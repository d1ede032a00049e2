#pragma once
// The kinds of object the simulated cluster serves, where each lives in the URL space, and
// the Status documents the API server answers with about them.
#include <string>

#include "simulator/cluster/clusterJson.h"

namespace wqsim {

enum class NameRule {
  kSubdomain,  // DNS-1123 subdomain: most objects
  kLabel,      // DNS-1123 label: projects
};

struct ResourceType {
  const char* resource;    // plural, lower case: "persistentvolumeclaims"
  const char* kind;        // "PersistentVolumeClaim"
  const char* group;       // API group of the server's storage; "" for the core group
  const char* apiVersion;  // written on objects and lists served under `basePath`
  const char* basePath;    // "/api/v1", "/oapi/v1" or "/apis/storage.k8s.io/v1"
  bool namespaced;
  NameRule nameRule;
  // The server keeps the status itself: a create starts it afresh and a replace keeps it.
  bool serverStatus;

  // "deploymentconfigs.apps.openshift.io", or the bare resource in the core group.
  std::string QualifiedResource() const;
  // "DeploymentConfig.apps.openshift.io", or the bare kind in the core group.
  std::string QualifiedKind() const;
  std::string CollectionPath(const std::string& ns) const;
  std::string ObjectPath(const std::string& ns, const std::string& name) const;
};

extern const ResourceType kPods;
extern const ResourceType kDeploymentConfigs;
extern const ResourceType kClaims;
extern const ResourceType kVolumes;
extern const ResourceType kEndpoints;
extern const ResourceType kSecrets;
extern const ResourceType kConfigMaps;
extern const ResourceType kServiceAccounts;
extern const ResourceType kProjects;
extern const ResourceType kStorageClasses;

// The type served as `resource` under `basePath`, or null.
const ResourceType* FindResourceType(const std::string& basePath, const std::string& resource);

// Empty when `name` is acceptable under `rule`, otherwise the validator's complaint.
std::string NameProblem(NameRule rule, const std::string& name);

// Status documents (compact, as the server writes them).
std::string NotFoundStatus(const ResourceType& type, const std::string& name);
std::string AlreadyExistsStatus(const ResourceType& type, const std::string& name);
std::string ConflictStatus(const ResourceType& type, const std::string& name);
// 422 for one invalid field; `causeReason` is e.g. "FieldValueRequired", `detail` the text
// after the field path in the message.
std::string InvalidStatus(const ResourceType& type, const std::string& name,
                          const std::string& field, const std::string& causeReason,
                          const std::string& detail);
std::string BadRequestStatus(const std::string& message);
std::string MethodNotAllowedStatus();
std::string DeletedStatus(const ResourceType& type, const std::string& name,
                          const std::string& uid);
// A Failure Status for any error code, with the reason the server gives that code.
std::string StatusForCode(int code, const std::string& message);

}  // namespace wqsim
