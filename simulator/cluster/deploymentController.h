#pragma once
// The simulated deployment config controller: every deployment config owns the pods of its
// latest version ("<dc>-<version>-<suffix>") and a completed deployer pod
// ("<dc>-<version>-deploy"); a new template rolls out a new version, a new replica count
// takes effect after a number of reads, and the status follows the pods.
#include <map>
#include <string>

#include "simulator/cluster/clusterStore.h"

namespace wqsim {

class DeploymentController {
 public:
  // `scaleReads`: how many reads of a deployment config still show the old replica counts
  // after its replica count changed.
  DeploymentController(ClusterStore& store, int scaleReads);

  // Defaults a new deployment config's spec as the server does.
  static void ApplyDefaults(json::object& config);
  // A deployment config was stored: rolls out version 1.
  void Created(json::object& config);
  // A deployment config was replaced; `previous` is what was stored before.
  void Replaced(const json::object& previous, json::object& config);
  // The scale subresource set spec.replicas.
  void Scaled(json::object& config, std::int64_t replicas);
  // A deployment config is about to be shown to a client: counts the read, and applies a
  // pending change of the replica count when it is due.
  void Read(json::object& config);
  // A deployment config was deleted: its pods go too.
  void Deleted(const json::object& config);
  // Applies every pending change now.
  void Settle();

  // The extensions/v1beta1 Scale document of a deployment config.
  static json::object ScaleOf(const json::object& config);
  // Gives a pod of namespace `ns` the status of a running pod on the simulated node, or of a
  // pending one while a secret, config map, claim or service account it needs does not exist.
  void StartPod(const std::string& ns, json::object& pod);
  // A pod is about to be shown to a client: a pending pod whose needs now exist starts.
  void PodRead(json::object& pod);

 private:
  void Rollout(json::object& config);
  void SyncPods(json::object& config);
  void BumpGeneration(json::object& config);
  json::object ReplicaPod(const json::object& config, std::int64_t version);
  json::object DeployerPod(const json::object& config, std::int64_t version);
  void RemovePods(const std::string& ns, const std::string& config);
  // "Kind name" of the first object that a pod of `spec` needs and `ns` lacks; empty: none.
  std::string MissingNeed(const std::string& ns, const json::object& spec);

  ClusterStore& store_;
  int scaleReads_;
  std::map<std::string, int> readsLeft_;  // pending replica changes, by deployment config uid
  std::map<std::string, std::string> controllerUids_;  // by "<namespace>/<dc>-<version>"
  int nextPodAddress_ = 2;
};

}  // namespace wqsim
