#pragma once
// REST resource paths shared by the read side and the write side. A namespace or name from
// a caller goes into a path only when it is a valid cluster name: lower-case letters,
// digits, '-' and '.', at most 253 characters, never "." or "..". Anything else ('/', '?',
// '%', "..") could make the path address another object than the one named, so such a
// path is refused instead of being built. An empty namespace is kept as it is.
#include <string>

#include "connection/textSafety.h"

namespace OpenShiftSDKWrapper {
namespace ResourcePath {

constexpr const char kCoreNamespaces[] = "/api/v1/namespaces";
constexpr const char kOapiNamespaces[] = "/oapi/v1/namespaces";
constexpr const char kPersistentVolumes[] = "/api/v1/persistentvolumes";

// A built path, or why none was built: callers log `refusal` and send nothing.
struct Path {
  std::string text;
  std::string refusal;
  bool Refused() const { return !refusal.empty(); }
};

namespace detail {
inline bool Refuse(Path& path, const char* what, const std::string& value) {
  if (IsClusterName(value)) return false;
  path.text.clear();
  path.refusal = "Refusing the " + std::string(what) + " [" + ShownText(value) +
                 "]: a name holds only lower-case letters, digits, '-' and '.', at most 253 "
                 "characters, and is never \".\" or \"..\"";
  return true;
}
}  // namespace detail

// base + "/" + ns + "/" + kind
inline Path Collection(const char* base, const std::string& ns, const char* kind) {
  Path path;
  if (!ns.empty() && detail::Refuse(path, "namespace", ns)) return path;
  path.text = base + ("/" + ns) + "/" + kind;
  return path;
}

// base + "/" + ns + "/" + kind + "/" + name, then "/" + subresource when one is given
inline Path Object(const char* base, const std::string& ns, const char* kind,
                   const std::string& name, const char* subresource = nullptr) {
  Path path = Collection(base, ns, kind);
  if (path.Refused() || detail::Refuse(path, "name", name)) return path;
  path.text += "/" + name;
  if (subresource != nullptr) path.text += std::string("/") + subresource;
  return path;
}

// base + "/" + name, for the objects outside any namespace
inline Path ClusterObject(const char* base, const std::string& name) {
  Path path;
  if (!detail::Refuse(path, "name", name)) path.text = base + ("/" + name);
  return path;
}

}  // namespace ResourcePath
}  // namespace OpenShiftSDKWrapper
