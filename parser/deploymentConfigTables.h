#pragma once
// JSON tables of the deployment config records.
#include "parser/codecEngine.h"
#include "parser/deploymentConfigRecords.h"
#include "parser/podTables.h"

namespace OpenShiftSDKWrapper {
namespace codec {

WQ_TABLE(SExecNewPodHookInfoLib, F("command", &SExecNewPodHookInfoLib::command),
         F("env", &SExecNewPodHookInfoLib::env),
         F("containerName", &SExecNewPodHookInfoLib::containerName),
         F("volumes", &SExecNewPodHookInfoLib::volumes));

WQ_TABLE(STagImageHookInfoLib, F("containerName", &STagImageHookInfoLib::containerName),
         F("to", &STagImageHookInfoLib::to));

WQ_TABLE(SLifecycleHookInfoLib, F("failurePolicy", &SLifecycleHookInfoLib::failurePolicy),
         F("execNewPod", &SLifecycleHookInfoLib::execNewPod),
         F("tagImages", &SLifecycleHookInfoLib::tagImages));

WQ_TABLE(SCustomDeploymentStrategyParamsInfoLib,
         F("image", &SCustomDeploymentStrategyParamsInfoLib::image),
         F("environment", &SCustomDeploymentStrategyParamsInfoLib::environment),
         F("command", &SCustomDeploymentStrategyParamsInfoLib::command));

// timeoutSeconds is always sent, so every written strategy carries
// "recreateParams", whatever its type.
WQ_TABLE(SRecreateDeploymentStrategyParamsInfoLib,
         F("timeoutSeconds", &SRecreateDeploymentStrategyParamsInfoLib::timeoutSeconds),
         F("pre", &SRecreateDeploymentStrategyParamsInfoLib::pre),
         F("mid", &SRecreateDeploymentStrategyParamsInfoLib::mid),
         F("post", &SRecreateDeploymentStrategyParamsInfoLib::post));

WQ_TABLE(SRollingDeploymentStrategyParamsInfoLib,
         F("updatePeriodSeconds", &SRollingDeploymentStrategyParamsInfoLib::updatePeriodSeconds),
         F("intervalSeconds", &SRollingDeploymentStrategyParamsInfoLib::intervalSeconds),
         F("timeoutSeconds", &SRollingDeploymentStrategyParamsInfoLib::timeoutSeconds),
         F("maxUnavailable", &SRollingDeploymentStrategyParamsInfoLib::maxUnavailable),
         F("maxSurge", &SRollingDeploymentStrategyParamsInfoLib::maxSurge),
         F("pre", &SRollingDeploymentStrategyParamsInfoLib::pre),
         F("post", &SRollingDeploymentStrategyParamsInfoLib::post));

WQ_TABLE(SDeploymentStrategyInfoLib, F("type", &SDeploymentStrategyInfoLib::type),
         F("customParams", &SDeploymentStrategyInfoLib::customParams),
         F("recreateParams", &SDeploymentStrategyInfoLib::recreateParams),
         F("rollingParams", &SDeploymentStrategyInfoLib::rollingParams,
           Presence<&SDeploymentStrategyInfoLib::hasRollingParams>),
         F("resources", &SDeploymentStrategyInfoLib::resources),
         F("labels", &SDeploymentStrategyInfoLib::labels),
         F("annotations", &SDeploymentStrategyInfoLib::annotations),
         F("activeDeadlineSeconds", &SDeploymentStrategyInfoLib::activeDeadlineSeconds));

// Parameters without an image to follow are meaningless: an empty "from"
// leaves them out of the trigger.
WQ_TABLE(SDeploymentTriggerImageChangeParamsInfoLib,
         F("automatic", &SDeploymentTriggerImageChangeParamsInfoLib::automatic),
         F("containerNames", &SDeploymentTriggerImageChangeParamsInfoLib::containerNames),
         F("from", &SDeploymentTriggerImageChangeParamsInfoLib::from, Required),
         F("lastTriggeredImage", &SDeploymentTriggerImageChangeParamsInfoLib::lastTriggeredImage));

WQ_TABLE(SDeploymentTriggerPolicyInfoLib, F("type", &SDeploymentTriggerPolicyInfoLib::type),
         F("imageChangeParams", &SDeploymentTriggerPolicyInfoLib::imageChangeParams));

WQ_TABLE(SDeploymentConfigSpecInfoLib, F("strategy", &SDeploymentConfigSpecInfoLib::strategy),
         F("minReadySeconds", &SDeploymentConfigSpecInfoLib::minReadySeconds, WriteIf<Positive>),
         F("triggers", &SDeploymentConfigSpecInfoLib::triggers),
         F("replicas", &SDeploymentConfigSpecInfoLib::replicas),
         F("revisionHistoryLimit", &SDeploymentConfigSpecInfoLib::revisionHistoryLimit,
           WriteIf<Positive>),
         F("test", &SDeploymentConfigSpecInfoLib::test),
         F("paused", &SDeploymentConfigSpecInfoLib::paused),
         F("selector", &SDeploymentConfigSpecInfoLib::selector),
         F("template", &SDeploymentConfigSpecInfoLib::templateSpec));

WQ_TABLE(SDeploymentCauseImageTriggerInfoLib,
         F("from", &SDeploymentCauseImageTriggerInfoLib::from));

WQ_TABLE(SDeploymentCauseInfoLib, F("type", &SDeploymentCauseInfoLib::type),
         F("imageTrigger", &SDeploymentCauseInfoLib::imageTrigger));

WQ_TABLE(SDeploymentDetailsInfoLib, F("message", &SDeploymentDetailsInfoLib::message),
         F("causes", &SDeploymentDetailsInfoLib::causes));

WQ_TABLE(SDeploymentConditionInfoLib, F("type", &SDeploymentConditionInfoLib::type),
         F("status", &SDeploymentConditionInfoLib::status),
         F("lastUpdateTime", &SDeploymentConditionInfoLib::lastUpdateTime),
         F("lastTransitionTime", &SDeploymentConditionInfoLib::lastTransitionTime),
         F("reason", &SDeploymentConditionInfoLib::reason),
         F("message", &SDeploymentConditionInfoLib::message));

// The version counters are held in 64 bits but read through the 32-bit getter.
WQ_TABLE(SDeploymentConfigStatusInfoLib,
         F("latestVersion", &SDeploymentConfigStatusInfoLib::latestVersion, ReadAs<Int32>),
         F("observedGeneration", &SDeploymentConfigStatusInfoLib::observedGeneration,
           ReadAs<Int32>),
         F("replicas", &SDeploymentConfigStatusInfoLib::replicas),
         F("updatedReplicas", &SDeploymentConfigStatusInfoLib::updatedReplicas),
         F("availableReplicas", &SDeploymentConfigStatusInfoLib::availableReplicas),
         F("unavailableReplicas", &SDeploymentConfigStatusInfoLib::unavailableReplicas),
         F("details", &SDeploymentConfigStatusInfoLib::details),
         F("conditions", &SDeploymentConfigStatusInfoLib::conditions),
         F("readyReplicas", &SDeploymentConfigStatusInfoLib::readyReplicas));

// kind and apiVersion are read by ParseDeploymentConfig alone, so items of a
// list keep them empty.
WQ_TABLE(SDeploymentConfigInfoLib, F("kind", &SDeploymentConfigInfoLib::kind, WriteOnly),
         F("apiVersion", &SDeploymentConfigInfoLib::apiVersion, WriteOnly),
         F("metadata", &SDeploymentConfigInfoLib::metadata),
         F("spec", &SDeploymentConfigInfoLib::spec),
         F("status", &SDeploymentConfigInfoLib::status));

}  // namespace codec
}  // namespace OpenShiftSDKWrapper
