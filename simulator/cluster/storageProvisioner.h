#pragma once
// The simulated persistent volume controller and GlusterFS provisioner: binds waiting claims
// to matching volumes, provisions a volume (with its "glusterfs-dynamic-<claim>" endpoints)
// for a claim of a GlusterFS storage class, and releases or deletes volumes whose claims go.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "simulator/cluster/clusterStore.h"

namespace wqsim {

// Creates or deletes the GlusterFS volume behind a provisioned persistent volume. `action` is
// "create" or "delete"; on false `error` says why.
using StorageHook =
    std::function<bool(const std::string& action, const std::string& volume, std::string& error)>;

// Keeps each volume as a directory under `dataDir`.
StorageHook DirectoryStorageHook(const std::string& dataDir);
// Runs "<command> create VOLNAME" or "<command> delete VOLNAME" through /bin/sh; exit status 0
// is success.
StorageHook CommandStorageHook(const std::string& command);

struct ProvisionerSettings {
  // How many reads of a waiting claim still show it "Pending" before it is bound.
  int bindReads = 1;
  // Addresses listed in the endpoints of every provisioned volume.
  std::vector<std::string> storageNodes{"127.0.0.2"};
  StorageHook hook;
};

class StorageProvisioner {
 public:
  StorageProvisioner(ClusterStore& store, ProvisionerSettings settings);

  // A claim was stored: gives it its first status and starts its countdown to binding.
  void ClaimCreated(json::object& claim);
  // A claim is about to be shown to a client: counts the read, binds it when it is due.
  void ClaimRead(json::object& claim);
  // A claim was deleted: its volume is released, or deleted with its storage when the
  // volume's reclaim policy is Delete.
  void ClaimDeleted(const json::object& claim);
  // A volume was stored: defaults and its first status.
  void VolumeCreated(json::object& volume);
  // Binds every claim that can be bound now, without waiting for reads.
  void Settle();

  // Volumes the hook created and has not deleted, in creation order (for tests).
  std::vector<std::string> LiveVolumes() const { return liveVolumes_; }

 private:
  bool TryBind(json::object& claim);
  json::object* MatchingVolume(const json::object& claim);
  json::object* Provision(json::object& claim, const json::object& storageClass);
  void Bind(json::object& claim, json::object& volume, bool volumeChosenByController);

  ClusterStore& store_;
  ProvisionerSettings settings_;
  std::map<std::string, int> readsLeft_;  // by claim uid
  std::vector<std::string> liveVolumes_;
  long long nextGid_ = 0;
};

// The storage class a claim asks for: spec.storageClassName, else the beta annotation.
std::string ClaimStorageClass(const json::object& claim);
// A quantity such as "2Gi", "500M" or "1024" in bytes; -1 when it does not parse.
long double QuantityBytes(const std::string& quantity);

}  // namespace wqsim
