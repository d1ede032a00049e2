#pragma once
// Deployment configs: the pod template with its replica count, strategy and
// triggers, as read, backed up and sent back. Plain values; the JSON rules of
// each record are its table in deploymentConfigTables.h.
#include <cstdint>
#include <string>
#include <vector>

#include "parser/metadataRecords.h"
#include "parser/podRecords.h"

namespace OpenShiftSDKWrapper {

struct SExecNewPodHookInfoLib {
  std::vector<std::string> command;
  std::vector<SEnvVarInfoLib> env;
  std::string containerName;
  std::vector<std::string> volumes;
};

struct STagImageHookInfoLib {
  std::string containerName;
  SObjectReferenceInfoLib to;
};

struct SLifecycleHookInfoLib {
  std::string failurePolicy;
  SExecNewPodHookInfoLib execNewPod;
  std::vector<STagImageHookInfoLib> tagImages;
};

struct SCustomDeploymentStrategyParamsInfoLib {
  std::string image;
  std::vector<SEnvVarInfoLib> environment;
  std::vector<std::string> command;
};

struct SRecreateDeploymentStrategyParamsInfoLib {
  int64_t timeoutSeconds = 0;
  SLifecycleHookInfoLib pre;
  SLifecycleHookInfoLib mid;
  SLifecycleHookInfoLib post;
};

// maxUnavailable and maxSurge may be numbers or percentages in the API; only
// the percentage (text) form is kept.
struct SRollingDeploymentStrategyParamsInfoLib {
  int64_t updatePeriodSeconds = 0;
  int64_t intervalSeconds = 0;
  int64_t timeoutSeconds = 0;
  std::string maxUnavailable;
  std::string maxSurge;
  SLifecycleHookInfoLib pre;
  SLifecycleHookInfoLib post;
};

struct SDeploymentStrategyInfoLib {
  std::string type;
  SCustomDeploymentStrategyParamsInfoLib customParams;
  SRecreateDeploymentStrategyParamsInfoLib recreateParams;
  SRollingDeploymentStrategyParamsInfoLib rollingParams;
  bool hasRollingParams = false;
  SResourceRequirementsInfoLib resources;
  SObjectInfoLib labels;
  SObjectInfoLib annotations;
  int64_t activeDeadlineSeconds = 0;
};

struct SDeploymentTriggerImageChangeParamsInfoLib {
  bool automatic = false;
  std::vector<std::string> containerNames;
  SObjectReferenceInfoLib from;
  std::string lastTriggeredImage;
};

struct SDeploymentTriggerPolicyInfoLib {
  std::string type;
  SDeploymentTriggerImageChangeParamsInfoLib imageChangeParams;
};

struct SDeploymentConfigSpecInfoLib {
  SDeploymentStrategyInfoLib strategy;
  int minReadySeconds = 0;
  std::vector<SDeploymentTriggerPolicyInfoLib> triggers;
  int replicas = 0;
  int revisionHistoryLimit = 0;
  bool test = false;
  bool paused = false;
  SObjectInfoLib selector;
  SPodTemplateSpecInfoLib templateSpec;  // JSON member "template"
};

struct SDeploymentCauseImageTriggerInfoLib {
  SObjectReferenceInfoLib from;
};

struct SDeploymentCauseInfoLib {
  std::string type;
  SDeploymentCauseImageTriggerInfoLib imageTrigger;
};

struct SDeploymentDetailsInfoLib {
  std::string message;
  std::vector<SDeploymentCauseInfoLib> causes;
};

struct SDeploymentConditionInfoLib {
  std::string type;
  std::string status;
  std::string lastUpdateTime;
  std::string lastTransitionTime;
  std::string reason;
  std::string message;
};

struct SDeploymentConfigStatusInfoLib {
  int64_t latestVersion = 0;
  int64_t observedGeneration = 0;
  int replicas = 0;
  int updatedReplicas = 0;
  int availableReplicas = 0;
  int unavailableReplicas = 0;
  SDeploymentDetailsInfoLib details;
  std::vector<SDeploymentConditionInfoLib> conditions;
  int readyReplicas = 0;
};

struct SDeploymentConfigInfoLib {
  std::string kind;
  std::string apiVersion;
  SObjectMetaInfoLib metadata;
  SDeploymentConfigSpecInfoLib spec;
  SDeploymentConfigStatusInfoLib status;
};

}  // namespace OpenShiftSDKWrapper
