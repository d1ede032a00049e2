#include "simulator/cluster/clusterStore.h"

namespace wqsim {

namespace {

std::string MetadataString(const json::object& object, const char* key) {
  const json::object* metadata = ObjectAt(object, "metadata");
  return metadata != nullptr ? StringAt(*metadata, key) : std::string();
}

}  // namespace

std::string NameOf(const json::object& object) { return MetadataString(object, "name"); }
std::string NamespaceOf(const json::object& object) { return MetadataString(object, "namespace"); }
std::string UidOf(const json::object& object) { return MetadataString(object, "uid"); }
std::string ResourceVersionOf(const json::object& object) {
  return MetadataString(object, "resourceVersion");
}

json::object* ClusterStore::Find(const ResourceType& type, const std::string& ns,
                                 const std::string& name) {
  auto kind = objects_.find(&type);
  if (kind == objects_.end()) return nullptr;
  auto found = kind->second.find(Key(type.namespaced ? ns : std::string(), name));
  return found != kind->second.end() ? &found->second : nullptr;
}

std::vector<json::object*> ClusterStore::List(const ResourceType& type, const std::string& ns) {
  std::vector<json::object*> items;
  auto kind = objects_.find(&type);
  if (kind == objects_.end()) return items;
  for (auto& entry : kind->second) {
    if (ns.empty() || !type.namespaced || entry.first.first == ns) items.push_back(&entry.second);
  }
  return items;
}

json::object& ClusterStore::Insert(const ResourceType& type, const std::string& ns,
                                   json::object object) {
  const std::string name = NameOf(object);
  json::object& metadata = EnsureObject(object, "metadata");
  if (type.namespaced) {
    metadata["namespace"] = ns;
  } else {
    RemoveMember(metadata, "namespace");
  }
  metadata["selfLink"] = type.ObjectPath(ns, name);
  metadata["uid"] = NewUid();
  metadata["resourceVersion"] = NextVersion();
  metadata["creationTimestamp"] = NowTimestamp();
  // The server's own record of a deletion in progress is never taken from a client.
  RemoveMember(metadata, "deletionTimestamp");
  RemoveMember(metadata, "deletionGracePeriodSeconds");
  object["kind"] = type.kind;
  object["apiVersion"] = type.apiVersion;
  NormaliseObject(object);
  json::object& stored = objects_[&type][Key(type.namespaced ? ns : std::string(), name)];
  stored = std::move(object);
  return stored;
}

json::object& ClusterStore::Replace(const ResourceType& type, const std::string& ns,
                                    json::object object) {
  const std::string name = NameOf(object);
  json::object& stored = objects_[&type][Key(type.namespaced ? ns : std::string(), name)];
  json::object& metadata = EnsureObject(object, "metadata");
  const json::object* old = ObjectAt(stored, "metadata");
  for (const char* key : {"uid", "creationTimestamp", "generation"}) {
    const json::value* kept = old != nullptr ? old->if_contains(key) : nullptr;
    if (kept != nullptr) {
      metadata[key] = *kept;
    } else {
      RemoveMember(metadata, key);
    }
  }
  if (type.namespaced) metadata["namespace"] = ns;
  metadata["selfLink"] = type.ObjectPath(ns, name);
  metadata["resourceVersion"] = NextVersion();
  if (type.serverStatus) {
    const json::value* status = stored.if_contains("status");
    if (status != nullptr) {
      object["status"] = *status;
    } else {
      RemoveMember(object, "status");
    }
  }
  object["kind"] = type.kind;
  object["apiVersion"] = type.apiVersion;
  NormaliseObject(object);
  stored = std::move(object);
  return stored;
}

void ClusterStore::Touch(json::object& object) {
  EnsureObject(object, "metadata")["resourceVersion"] = NextVersion();
  NormaliseObject(object);
}

bool ClusterStore::Remove(const ResourceType& type, const std::string& ns, const std::string& name,
                          json::object& removed) {
  auto kind = objects_.find(&type);
  if (kind == objects_.end()) return false;
  auto found = kind->second.find(Key(type.namespaced ? ns : std::string(), name));
  if (found == kind->second.end()) return false;
  removed = std::move(found->second);
  kind->second.erase(found);
  return true;
}

std::string ClusterStore::CurrentVersion() const { return std::to_string(version_); }

std::string ClusterStore::NextVersion() { return std::to_string(++version_); }

void NormaliseObject(json::object& object) {
  OrderMembers(object, {"kind", "apiVersion", "metadata", "spec"});
  json::value* status = object.if_contains("status");
  if (status != nullptr) {
    json::value moved = std::move(*status);
    RemoveMember(object, "status");
    object["status"] = std::move(moved);
  }
  json::object& metadata = EnsureObject(object, "metadata");
  OrderMembers(metadata, {"name", "generateName", "namespace", "selfLink", "uid", "resourceVersion",
                          "generation", "creationTimestamp", "deletionTimestamp",
                          "deletionGracePeriodSeconds", "labels", "annotations", "ownerReferences",
                          "initializers", "finalizers", "clusterName"});
  for (const char* map : {"labels", "annotations"}) {
    json::object* members = ObjectAt(metadata, map);
    if (members != nullptr) SortMembers(*members);
  }
}

}  // namespace wqsim
