#pragma once
// Pods and containers: the pod object the cluster returns, and the pod template
// and containers that a deployment config carries and sends back. Plain values;
// the JSON rules of each record are its table in podTables.h.
#include <cstdint>
#include <string>
#include <vector>

#include "parser/metadataRecords.h"
#include "parser/schedulingRecords.h"
#include "parser/volumeRecords.h"

namespace OpenShiftSDKWrapper {

struct SContainerPortInfoLib {
  std::string name;
  int hostPort = 0;
  int containerPort = 0;
  std::string protocol;
  std::string hostIP;
};

struct SVolumeMountInfoLib {
  std::string name;
  bool readOnly = false;
  std::string mountPath;
  std::string subPath;
};

// Quantities stay in the cluster's notation ("500m", "2Gi").
struct SResourceRequirementsInfoLib {
  SObjectInfoLib limits;
  SObjectInfoLib requests;
};

struct SConfigMapKeySelectorInfoLib {
  std::string name;
  std::string key;
  bool optional = false;
};

struct SSecretKeySelectorInfoLib {
  std::string name;
  std::string key;
  bool optional = false;
};

struct SEnvVarSourceInfoLib {
  SObjectFieldSelectorInfoLib fieldRef;
  SResourceFieldSelectorInfoLib resourceFieldRef;
  SConfigMapKeySelectorInfoLib configMapKeyRef;
  SSecretKeySelectorInfoLib secretKeyRef;
};

struct SEnvVarInfoLib {
  std::string name;
  std::string value;
  SEnvVarSourceInfoLib valueFrom;
};

struct SConfigMapEnvSourceInfoLib {
  std::string name;
  bool optional = false;
};

struct SSecretEnvSourceInfoLib {
  std::string name;
  bool optional = false;
};

// The has* flags tell whether the reference came with the JSON; a reference
// filled in code is sent only once its flag is set too.
struct SEnvFromSourceInfoLib {
  std::string prefix;
  SConfigMapEnvSourceInfoLib configMapRef;
  bool hasConfigMapRef = false;
  SSecretEnvSourceInfoLib secretRef;
  bool hasSecretRef = false;
};

struct SExecActionInfoLib {
  std::vector<std::string> command;
};

struct SHTTPHeaderInfoLib {
  std::string name;
  std::string value;
};

struct SHTTPGetActionInfoLib {
  std::string path;
  int port = 0;  // a named port reads as 0
  std::string host;
  std::string scheme;
  std::vector<SHTTPHeaderInfoLib> httpHeaders;
};

struct STCPSocketActionInfoLib {
  int port = 0;
};

struct SProbeInfoLib {
  SExecActionInfoLib exec;
  SHTTPGetActionInfoLib httpGet;
  STCPSocketActionInfoLib tcpSocket;
  int initialDelaySeconds = 0;
  int timeoutSeconds = 0;
  int periodSeconds = 0;
  int successThreshold = 0;
  int failureThreshold = 0;
};

struct SHandlerInfoLib {
  SExecActionInfoLib exec;
  SHTTPGetActionInfoLib httpGet;
  STCPSocketActionInfoLib tcpSocket;
};

struct SLifecycleInfoLib {
  SHandlerInfoLib postStart;
  SHandlerInfoLib preStop;
};

struct SContainerInfoLib {
  std::string name;
  std::string image;
  std::vector<std::string> command;
  std::vector<std::string> args;
  std::string workingDir;
  std::vector<SContainerPortInfoLib> ports;
  std::vector<SEnvFromSourceInfoLib> envFrom;
  std::vector<SEnvVarInfoLib> env;
  SResourceRequirementsInfoLib resources;
  std::vector<SVolumeMountInfoLib> volumeMounts;
  SProbeInfoLib livenessProbe;
  SProbeInfoLib readinessProbe;
  SLifecycleInfoLib lifecycle;
  std::string terminationMessagePath;
  std::string terminationMessagePolicy;
  std::string imagePullPolicy;
  SSecurityContextInfoLib securityContext;
  bool stdin = false;
  bool stdinOnce = false;
  bool tty = false;
};

struct SPodSpecInfoLib {
  std::vector<SVolumeInfoLib> volumes;
  std::vector<SContainerInfoLib> initContainers;
  std::vector<SContainerInfoLib> containers;
  std::string restartPolicy;
  int64_t terminationGracePeriodSeconds = 0;
  int64_t activeDeadlineSeconds = 0;
  std::string dnsPolicy;
  SObjectInfoLib nodeSelector;
  std::string serviceAccountName;
  std::string serviceAccount;
  bool automountServiceAccountToken = false;
  std::string nodeName;
  bool hostNetwork = false;
  bool hostPID = false;
  bool hostIPC = false;
  SPodSecurityContextInfoLib securityContext;
  std::vector<SLocalObjectReferenceInfoLib> imagePullSecrets;
  std::string hostname;
  std::string subdomain;
  SAffinityInfoLib affinity;
  std::string schedulerName;
  std::vector<STolerationInfoLib> tolerations;
};

struct SPodTemplateSpecInfoLib {
  SObjectMetaInfoLib metadata;
  SPodSpecInfoLib spec;
};

// The status side below is only ever read from the cluster.
struct SPodConditionInfoLib {
  std::string type;
  std::string status;
  std::string lastProbeTime;
  std::string lastTransitionTime;
  std::string reason;
  std::string message;
};

struct SContainerStateWaitingInfoLib {
  std::string reason;
  std::string message;
};

struct SContainerStateRunningInfoLib {
  std::string startedAt;
};

struct SContainerStateTerminatedInfoLib {
  int exitCode = 0;
  int signal = 0;
  std::string reason;
  std::string message;
  std::string startedAt;
  std::string finishedAt;
  std::string containerID;
};

struct SContainerStateInfoLib {
  SContainerStateWaitingInfoLib waiting;
  SContainerStateRunningInfoLib running;
  SContainerStateTerminatedInfoLib terminated;
};

struct SContainerStatusInfoLib {
  std::string name;
  SContainerStateInfoLib state;
  SContainerStateInfoLib lastState;
  bool ready = false;
  int restartCount = 0;
  std::string image;
  std::string imageID;
  std::string containerID;
};

struct SPodStatusInfoLib {
  std::string phase;
  std::vector<SPodConditionInfoLib> conditions;
  std::string message;
  std::string reason;
  std::string hostIP;
  std::string podIP;
  std::string startTime;
  std::vector<SContainerStatusInfoLib> initContainerStatuses;
  std::vector<SContainerStatusInfoLib> containerStatuses;
  std::string qosClass;
};

struct SPodInfoLib {
  std::string kind;
  std::string apiVersion;
  SObjectMetaInfoLib metadata;
  SPodSpecInfoLib spec;
  SPodStatusInfoLib status;
};

}  // namespace OpenShiftSDKWrapper
