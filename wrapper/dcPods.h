#pragma once
// Which pods of a namespace a command for a deployment config runs in.
#include <string>

#include "parser/openshiftParser.h"

namespace OpenShiftSDKWrapper {

// True when `pod` is running and is an application pod of the deployment config `dcName`:
// its annotation "openshift.io/deployment-config.name" or its label "deploymentconfig"
// names the config; a pod carrying neither is recognised by the name the replication
// controller gives it, "<dcName>-<version>-<suffix>". Deployer pods ("<dcName>-<n>-deploy",
// label "openshift.io/deployer-pod-for.name"), build pods and the pods of another config
// whose name merely begins with the same text are not.
bool IsRunningPodOfDeploymentConfig(const SPodInfoLib& pod, const std::string& dcName);

}  // namespace OpenShiftSDKWrapper
