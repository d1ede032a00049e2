#pragma once
// A scenario: the accounts, behaviour settings and objects a simulated cluster starts with,
// read from a JSON file such as:
//
//   {"users": [{"name": "developer", "password": "developer"}],
//    "serviceAccountTokens": ["..."],
//    "storageNodes": ["127.0.0.2"], "claimBindReads": 1, "scaleReads": 1,
//    "storageCommand": "", "dataDir": "",
//    "projects": ["demo"], "storageClasses": [...], "persistentVolumes": [...],
//    "endpoints": [...], "secrets": [...], "configMaps": [...],
//    "persistentVolumeClaims": [...], "deploymentConfigs": [...], "pods": [...]}
//
// Objects are API documents; namespaced ones name their namespace in metadata.namespace.
#include <string>
#include <utility>
#include <vector>

#include "simulator/cluster/clusterApi.h"

namespace wqsim {

struct SeedObject {
  const ResourceType* type = nullptr;
  json::object object;
};

struct Scenario {
  std::vector<std::pair<std::string, std::string>> users;  // name, password
  std::vector<std::string> serviceAccountTokens;
  ClusterSettings settings;
  // "<command> create|delete VOLNAME" creates and deletes provisioned GlusterFS volumes;
  // when empty, each volume is a directory under `dataDir`.
  std::string storageCommand;
  std::string dataDir;
  // In the order they are created: projects, storage classes, volumes, endpoints, secrets,
  // config maps, claims, deployment configs, pods.
  std::vector<SeedObject> objects;
};

bool ParseScenario(const std::string& text, Scenario& scenario, std::string& error);
bool LoadScenarioFile(const std::string& path, Scenario& scenario, std::string& error);

}  // namespace wqsim
