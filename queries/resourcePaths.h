#pragma once
// REST resource paths shared by the read side and the write side. Names and
// namespaces go in verbatim: the cluster rejects what it cannot address, and an
// escaped name would no longer match the object the caller saved.
#include <string>

namespace OpenShiftSDKWrapper {
namespace ResourcePath {

constexpr const char kCoreNamespaces[] = "/api/v1/namespaces";
constexpr const char kOapiNamespaces[] = "/oapi/v1/namespaces";
constexpr const char kPersistentVolumes[] = "/api/v1/persistentvolumes";

// base + "/" + ns + "/" + kind
inline std::string Collection(const char* base, const std::string& ns, const char* kind) {
  return base + ("/" + ns) + "/" + kind;
}

// base + "/" + ns + "/" + kind + "/" + name
inline std::string Object(const char* base, const std::string& ns, const char* kind,
                          const std::string& name) {
  return Collection(base, ns, kind) + "/" + name;
}

}  // namespace ResourcePath
}  // namespace OpenShiftSDKWrapper
