#pragma once
// JSON tables of the pod and container records.
#include <tuple>

#include "parser/codecEngine.h"
#include "parser/podRecords.h"

namespace OpenShiftSDKWrapper {
namespace codec {

WQ_TABLE(SContainerPortInfoLib, F("name", &SContainerPortInfoLib::name),
         F("hostPort", &SContainerPortInfoLib::hostPort),
         F("containerPort", &SContainerPortInfoLib::containerPort),
         F("protocol", &SContainerPortInfoLib::protocol),
         F("hostIP", &SContainerPortInfoLib::hostIP));

WQ_TABLE(SVolumeMountInfoLib, F("name", &SVolumeMountInfoLib::name),
         F("readOnly", &SVolumeMountInfoLib::readOnly),
         F("mountPath", &SVolumeMountInfoLib::mountPath),
         F("subPath", &SVolumeMountInfoLib::subPath));

WQ_TABLE(SResourceRequirementsInfoLib, F("limits", &SResourceRequirementsInfoLib::limits),
         F("requests", &SResourceRequirementsInfoLib::requests));

// Config map and secret key selectors: a selector without a name says nothing.
template <class R>
auto KeySelectorRows() {
  return std::make_tuple(F("name", &R::name, Required), F("key", &R::key),
                         F("optional", &R::optional));
}
WQ_TABLE_OF(SConfigMapKeySelectorInfoLib, KeySelectorRows<SConfigMapKeySelectorInfoLib>());
WQ_TABLE_OF(SSecretKeySelectorInfoLib, KeySelectorRows<SSecretKeySelectorInfoLib>());

WQ_TABLE(SEnvVarSourceInfoLib, F("fieldRef", &SEnvVarSourceInfoLib::fieldRef),
         F("resourceFieldRef", &SEnvVarSourceInfoLib::resourceFieldRef),
         F("configMapKeyRef", &SEnvVarSourceInfoLib::configMapKeyRef),
         F("secretKeyRef", &SEnvVarSourceInfoLib::secretKeyRef));

WQ_TABLE(SEnvVarInfoLib, F("name", &SEnvVarInfoLib::name), F("value", &SEnvVarInfoLib::value),
         F("valueFrom", &SEnvVarInfoLib::valueFrom));

// Config map and secret environment sources have the same members.
template <class R>
auto EnvSourceRows() {
  return std::make_tuple(F("name", &R::name), F("optional", &R::optional));
}
WQ_TABLE_OF(SConfigMapEnvSourceInfoLib, EnvSourceRows<SConfigMapEnvSourceInfoLib>());
WQ_TABLE_OF(SSecretEnvSourceInfoLib, EnvSourceRows<SSecretEnvSourceInfoLib>());

WQ_TABLE(SEnvFromSourceInfoLib, F("prefix", &SEnvFromSourceInfoLib::prefix),
         F("configMapRef", &SEnvFromSourceInfoLib::configMapRef,
           Presence<&SEnvFromSourceInfoLib::hasConfigMapRef>),
         F("secretRef", &SEnvFromSourceInfoLib::secretRef,
           Presence<&SEnvFromSourceInfoLib::hasSecretRef>));

WQ_TABLE(SExecActionInfoLib, F("command", &SExecActionInfoLib::command));

WQ_TABLE(SHTTPHeaderInfoLib, F("name", &SHTTPHeaderInfoLib::name),
         F("value", &SHTTPHeaderInfoLib::value));

// An action without a usable port is left out whole, path and headers included.
WQ_TABLE(SHTTPGetActionInfoLib, F("path", &SHTTPGetActionInfoLib::path),
         F("port", &SHTTPGetActionInfoLib::port, Required, WriteIf<PortRange>),
         F("host", &SHTTPGetActionInfoLib::host), F("scheme", &SHTTPGetActionInfoLib::scheme),
         F("httpHeaders", &SHTTPGetActionInfoLib::httpHeaders));

WQ_TABLE(STCPSocketActionInfoLib,
         F("port", &STCPSocketActionInfoLib::port, Required, WriteIf<PortRange>));

// A probe is sent only with an action; its timings alone would be rejected.
WQ_TABLE(SProbeInfoLib, F("exec", &SProbeInfoLib::exec, Required),
         F("httpGet", &SProbeInfoLib::httpGet, Required),
         F("tcpSocket", &SProbeInfoLib::tcpSocket, Required),
         F("initialDelaySeconds", &SProbeInfoLib::initialDelaySeconds, WriteIf<NonNegative>),
         F("timeoutSeconds", &SProbeInfoLib::timeoutSeconds, WriteIf<Positive>),
         F("periodSeconds", &SProbeInfoLib::periodSeconds, WriteIf<Positive>),
         F("successThreshold", &SProbeInfoLib::successThreshold, WriteIf<Positive>),
         F("failureThreshold", &SProbeInfoLib::failureThreshold, WriteIf<Positive>));

WQ_TABLE(SHandlerInfoLib, F("exec", &SHandlerInfoLib::exec),
         F("httpGet", &SHandlerInfoLib::httpGet), F("tcpSocket", &SHandlerInfoLib::tcpSocket));

WQ_TABLE(SLifecycleInfoLib, F("postStart", &SLifecycleInfoLib::postStart),
         F("preStop", &SLifecycleInfoLib::preStop));

WQ_TABLE(SContainerInfoLib, F("name", &SContainerInfoLib::name),
         F("image", &SContainerInfoLib::image), F("command", &SContainerInfoLib::command),
         F("args", &SContainerInfoLib::args), F("workingDir", &SContainerInfoLib::workingDir),
         F("ports", &SContainerInfoLib::ports), F("envFrom", &SContainerInfoLib::envFrom),
         F("env", &SContainerInfoLib::env), F("resources", &SContainerInfoLib::resources),
         F("volumeMounts", &SContainerInfoLib::volumeMounts),
         F("livenessProbe", &SContainerInfoLib::livenessProbe),
         F("readinessProbe", &SContainerInfoLib::readinessProbe),
         F("lifecycle", &SContainerInfoLib::lifecycle),
         F("terminationMessagePath", &SContainerInfoLib::terminationMessagePath),
         F("terminationMessagePolicy", &SContainerInfoLib::terminationMessagePolicy),
         F("imagePullPolicy", &SContainerInfoLib::imagePullPolicy),
         F("securityContext", &SContainerInfoLib::securityContext),
         F("stdin", &SContainerInfoLib::stdin), F("stdinOnce", &SContainerInfoLib::stdinOnce),
         F("tty", &SContainerInfoLib::tty));

WQ_TABLE(SPodSpecInfoLib, F("volumes", &SPodSpecInfoLib::volumes),
         F("initContainers", &SPodSpecInfoLib::initContainers),
         F("containers", &SPodSpecInfoLib::containers),
         F("restartPolicy", &SPodSpecInfoLib::restartPolicy),
         F("terminationGracePeriodSeconds", &SPodSpecInfoLib::terminationGracePeriodSeconds),
         F("activeDeadlineSeconds", &SPodSpecInfoLib::activeDeadlineSeconds, WriteIf<Positive>),
         F("dnsPolicy", &SPodSpecInfoLib::dnsPolicy),
         F("nodeSelector", &SPodSpecInfoLib::nodeSelector),
         F("serviceAccountName", &SPodSpecInfoLib::serviceAccountName),
         F("serviceAccount", &SPodSpecInfoLib::serviceAccount),
         F("automountServiceAccountToken", &SPodSpecInfoLib::automountServiceAccountToken),
         F("nodeName", &SPodSpecInfoLib::nodeName), F("hostNetwork", &SPodSpecInfoLib::hostNetwork),
         F("hostPID", &SPodSpecInfoLib::hostPID), F("hostIPC", &SPodSpecInfoLib::hostIPC),
         F("securityContext", &SPodSpecInfoLib::securityContext),
         F("imagePullSecrets", &SPodSpecInfoLib::imagePullSecrets),
         F("hostname", &SPodSpecInfoLib::hostname), F("subdomain", &SPodSpecInfoLib::subdomain),
         F("affinity", &SPodSpecInfoLib::affinity),
         F("schedulerName", &SPodSpecInfoLib::schedulerName),
         F("tolerations", &SPodSpecInfoLib::tolerations));

WQ_TABLE(SPodTemplateSpecInfoLib, F("metadata", &SPodTemplateSpecInfoLib::metadata),
         F("spec", &SPodTemplateSpecInfoLib::spec));

// ---- Status: read only ----

WQ_TABLE(SPodConditionInfoLib, F("type", &SPodConditionInfoLib::type),
         F("status", &SPodConditionInfoLib::status),
         F("lastProbeTime", &SPodConditionInfoLib::lastProbeTime),
         F("lastTransitionTime", &SPodConditionInfoLib::lastTransitionTime),
         F("reason", &SPodConditionInfoLib::reason), F("message", &SPodConditionInfoLib::message));

WQ_TABLE(SContainerStateWaitingInfoLib, F("reason", &SContainerStateWaitingInfoLib::reason),
         F("message", &SContainerStateWaitingInfoLib::message));

WQ_TABLE(SContainerStateRunningInfoLib, F("startedAt", &SContainerStateRunningInfoLib::startedAt));

WQ_TABLE(SContainerStateTerminatedInfoLib,
         F("exitCode", &SContainerStateTerminatedInfoLib::exitCode),
         F("signal", &SContainerStateTerminatedInfoLib::signal),
         F("reason", &SContainerStateTerminatedInfoLib::reason),
         F("message", &SContainerStateTerminatedInfoLib::message),
         F("startedAt", &SContainerStateTerminatedInfoLib::startedAt),
         F("finishedAt", &SContainerStateTerminatedInfoLib::finishedAt),
         F("containerID", &SContainerStateTerminatedInfoLib::containerID));

WQ_TABLE(SContainerStateInfoLib, F("waiting", &SContainerStateInfoLib::waiting),
         F("running", &SContainerStateInfoLib::running),
         F("terminated", &SContainerStateInfoLib::terminated));

WQ_TABLE(SContainerStatusInfoLib, F("name", &SContainerStatusInfoLib::name),
         F("state", &SContainerStatusInfoLib::state),
         F("lastState", &SContainerStatusInfoLib::lastState),
         F("ready", &SContainerStatusInfoLib::ready),
         F("restartCount", &SContainerStatusInfoLib::restartCount),
         F("image", &SContainerStatusInfoLib::image),
         F("imageID", &SContainerStatusInfoLib::imageID),
         F("containerID", &SContainerStatusInfoLib::containerID));

WQ_TABLE(SPodStatusInfoLib, F("phase", &SPodStatusInfoLib::phase),
         F("conditions", &SPodStatusInfoLib::conditions), F("message", &SPodStatusInfoLib::message),
         F("reason", &SPodStatusInfoLib::reason), F("hostIP", &SPodStatusInfoLib::hostIP),
         F("podIP", &SPodStatusInfoLib::podIP), F("startTime", &SPodStatusInfoLib::startTime),
         F("initContainerStatuses", &SPodStatusInfoLib::initContainerStatuses),
         F("containerStatuses", &SPodStatusInfoLib::containerStatuses),
         F("qosClass", &SPodStatusInfoLib::qosClass));

// kind, apiVersion, metadata, spec and status: the shape of every whole object.
template <class R>
auto ObjectRows() {
  return std::make_tuple(F("kind", &R::kind), F("apiVersion", &R::apiVersion),
                         F("metadata", &R::metadata), F("spec", &R::spec), F("status", &R::status));
}
WQ_TABLE_OF(SPodInfoLib, ObjectRows<SPodInfoLib>());

}  // namespace codec
}  // namespace OpenShiftSDKWrapper
