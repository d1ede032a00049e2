#pragma once
// Where a pod may run (affinity, node selectors, label selectors, tolerations) and
// with which privileges its containers run (security contexts).
#include <cstdint>
#include <string>
#include <vector>

#include "parser/metadataRecords.h"

namespace OpenShiftSDKWrapper {

struct SNodeSelectorRequirementInfoLib {
  std::string key;
  std::string operatorName;
  std::vector<std::string> values;
};

struct SNodeSelectorTermInfoLib {
  std::vector<SNodeSelectorRequirementInfoLib> matchExpressions;
};

struct SNodeSelectorInfoLib {
  std::vector<SNodeSelectorTermInfoLib> nodeSelectorTerms;
};

struct SPreferredSchedulingTermInfoLib {
  int weight = 0;
  SNodeSelectorTermInfoLib preference;
};

struct SNodeAffinityInfoLib {
  SNodeSelectorInfoLib requiredDuringSchedulingIgnoredDuringExecution;
  std::vector<SPreferredSchedulingTermInfoLib> preferredDuringSchedulingIgnoredDuringExecution;
};

struct SLabelSelectorRequirementInfoLib {
  std::string key;
  std::string operatorName;
  std::vector<std::string> values;
};

struct SLabelSelectorInfoLib {
  SObjectInfoLib matchLabels;
  std::vector<SLabelSelectorRequirementInfoLib> matchExpressions;
};

struct SPodAffinityTermInfoLib {
  SLabelSelectorInfoLib labelSelector;
  std::vector<std::string> namespaces;
  std::string topologyKey;
};

struct SWeightedPodAffinityTermInfoLib {
  int weight = 0;
  SPodAffinityTermInfoLib podAffinityTerm;
};

struct SPodAffinityInfoLib {
  std::vector<SPodAffinityTermInfoLib> requiredDuringSchedulingIgnoredDuringExecution;
  std::vector<SWeightedPodAffinityTermInfoLib> preferredDuringSchedulingIgnoredDuringExecution;
};

struct SPodAntiAffinityInfoLib {
  std::vector<SPodAffinityTermInfoLib> requiredDuringSchedulingIgnoredDuringExecution;
  std::vector<SWeightedPodAffinityTermInfoLib> preferredDuringSchedulingIgnoredDuringExecution;
};

struct SAffinityInfoLib {
  SNodeAffinityInfoLib nodeAffinity;
  SPodAffinityInfoLib podAffinity;
  SPodAntiAffinityInfoLib podAntiAffinity;
};

struct STolerationInfoLib {
  std::string key;
  std::string operatorName;
  std::string value;
  std::string effect;
  int64_t tolerationSeconds = 0;
};

struct SSELinuxOptionsInfoLib {
  std::string user;
  std::string role;
  std::string type;
  std::string level;
};

struct SCapabilitiesInfoLib {
  std::vector<std::string> add;
  std::vector<std::string> drop;
};

struct SPodSecurityContextInfoLib {
  SSELinuxOptionsInfoLib seLinuxOptions;
  int64_t runAsUser = 0;
  bool runAsNonRoot = false;
  std::vector<int> supplementalGroups;
  int64_t fsGroup = 0;
};

// A container's security context.
struct SSecurityContextInfoLib {
  SCapabilitiesInfoLib capabilities;
  bool privileged = false;
  SSELinuxOptionsInfoLib seLinuxOptions;
  int64_t runAsUser = 0;
  bool runAsNonRoot = false;
  bool readOnlyRootFilesystem = false;
};

}  // namespace OpenShiftSDKWrapper
