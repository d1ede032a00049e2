#pragma once
// The REST semantics of the simulated cluster, apart from any transport: one request in, one
// status code and body out. Safe to call from several threads at once.
#include <mutex>
#include <string>
#include <vector>

#include "simulator/cluster/clusterStore.h"
#include "simulator/cluster/deploymentController.h"
#include "simulator/cluster/storageProvisioner.h"

namespace wqsim {

struct ClusterSettings {
  // Reads of a new claim that still show it "Pending" before it is bound.
  int claimBindReads = 1;
  // Reads of a deployment config that still show the old replica counts after a scale.
  int scaleReads = 1;
  std::vector<std::string> storageNodes{"127.0.0.2"};
  // Creates and deletes the GlusterFS volumes of provisioned claims; none: nothing to do.
  StorageHook storageHook;
};

struct ApiRequest {
  std::string method;
  std::string path;  // without the query
  std::string body;
  bool pretty = false;  // indent the answer as the server does for "?pretty=true"
};

struct ApiAnswer {
  int status = 200;
  std::string body;
};

class ClusterApi {
 public:
  explicit ClusterApi(ClusterSettings settings);
  ClusterApi(const ClusterApi&) = delete;
  ClusterApi& operator=(const ClusterApi&) = delete;

  // False when the path is none that the cluster serves.
  bool Serve(const ApiRequest& request, ApiAnswer& answer);
  // Stores an object as a POST to its collection would; on false `error` holds the Status.
  bool Create(const ResourceType& type, const std::string& ns, const json::object& object,
              std::string& error);
  // Binds waiting claims and applies pending scale changes at once.
  void Settle();
  // GlusterFS volumes created through the storage hook and not yet deleted.
  std::vector<std::string> LiveVolumes();

 private:
  struct Route;
  static bool ParseRoute(const std::string& path, Route& route);
  ApiAnswer List(const Route& route, const std::string& path);
  ApiAnswer Get(const Route& route);
  ApiAnswer CreateObject(const ResourceType& type, const std::string& ns, json::object object);
  ApiAnswer Replace(const Route& route, const std::string& body);
  ApiAnswer Delete(const Route& route, const std::string& body);
  ApiAnswer GetScale(const Route& route);
  ApiAnswer PutScale(const Route& route, const std::string& body);
  // Removes an object and whatever the cluster removes with it.
  void RemoveObject(const ResourceType& type, const std::string& ns, const std::string& name,
                    json::object& removed);
  void ObjectRead(const ResourceType& type, json::object& object);

  std::mutex mutex_;
  ClusterStore store_;
  StorageProvisioner provisioner_;
  DeploymentController deployments_;
};

}  // namespace wqsim
