#pragma once
// The simulated cluster's object store: one JSON object per name, stamped with the fields
// the API server owns (uid, resourceVersion, creationTimestamp, selfLink, namespace) and kept
// with the members the client sent, in the order the server writes them.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "simulator/cluster/clusterJson.h"
#include "simulator/cluster/clusterResources.h"

namespace wqsim {

class ClusterStore {
 public:
  // Null when absent. Pointers stay valid until the object is removed.
  json::object* Find(const ResourceType& type, const std::string& ns, const std::string& name);
  // Objects of `type` in `ns` (in every namespace when `ns` is empty), ordered by namespace
  // and name, as the server's storage lists them.
  std::vector<json::object*> List(const ResourceType& type, const std::string& ns);

  // Stores a new object under the name in its metadata and stamps the server's fields. The
  // caller has made sure that the name is free.
  json::object& Insert(const ResourceType& type, const std::string& ns, json::object object);
  // Replaces a stored object with `object`, keeping its uid, creation time and, for types
  // whose status the server owns, its status.
  json::object& Replace(const ResourceType& type, const std::string& ns, json::object object);
  // Gives an object changed in place a new resourceVersion and puts its members back in
  // order. That rebuilds the object: references into it are invalid afterwards.
  void Touch(json::object& object);
  // False when there is no such object.
  bool Remove(const ResourceType& type, const std::string& ns, const std::string& name,
              json::object& removed);

  // The newest resourceVersion handed out, as the lists report it.
  std::string CurrentVersion() const;

 private:
  using Key = std::pair<std::string, std::string>;  // namespace, name
  std::string NextVersion();

  std::map<const ResourceType*, std::map<Key, json::object>> objects_;
  std::uint64_t version_ = 1000;
};

// Puts an object's members in the order the server writes them: kind, apiVersion, metadata,
// spec, the rest, status; the metadata in its field order, labels and annotations by name.
// References into the object are invalid afterwards.
void NormaliseObject(json::object& object);

// Name and namespace from an object's metadata.
std::string NameOf(const json::object& object);
std::string NamespaceOf(const json::object& object);
std::string UidOf(const json::object& object);
std::string ResourceVersionOf(const json::object& object);

}  // namespace wqsim
