// Commands in the pods of a deployment config, through the cluster command-line client.
#include <algorithm>
#include <cctype>

#include "connection/openshiftConnection.h"
#include "connection/textSafety.h"
#include "queries/openshiftQueries.h"
#include "wrapper/dcPods.h"
#include "wrapper/logContexts.h"
#include "wrapper/openshiftWrapper.h"

namespace OpenShiftSDKWrapper {

namespace {

const SKeyValueInfoLib* Find(const SObjectInfoLib& map, const std::string& key) {
  const auto found = std::find_if(map.keyValues.begin(), map.keyValues.end(),
                                  [&](const SKeyValueInfoLib& entry) { return entry.key == key; });
  return found != map.keyValues.end() ? &*found : nullptr;
}

bool IsAllOf(const std::string& text, int (*test)(int)) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [test](char c) {
    return test(static_cast<unsigned char>(c)) != 0;
  });
}

int IsLowerAlnum(int c) { return std::islower(c) || std::isdigit(c); }

// "<dcName>-<version>-<suffix>" with the replication controller's random suffix: lower-case
// letters and digits, never the deployer's "deploy" or a build's "build".
bool HasReplicaPodName(const std::string& name, const std::string& dcName) {
  const std::string head = dcName + "-";
  if (name.compare(0, head.size(), head) != 0) return false;
  const size_t dash = name.find('-', head.size());
  if (dash == std::string::npos) return false;
  const std::string version = name.substr(head.size(), dash - head.size());
  const std::string suffix = name.substr(dash + 1);
  return IsAllOf(version, [](int c) { return std::isdigit(c); }) && IsAllOf(suffix, IsLowerAlnum) &&
         suffix != "deploy" && suffix != "build";
}

}  // namespace

bool IsRunningPodOfDeploymentConfig(const SPodInfoLib& pod, const std::string& dcName) {
  if (pod.status.phase != "Running") return false;
  const SObjectMetaInfoLib& meta = pod.metadata;
  if (Find(meta.labels, "openshift.io/deployer-pod-for.name") != nullptr ||
      Find(meta.labels, "openshift.io/build.name") != nullptr ||
      Find(meta.annotations, "openshift.io/build.name") != nullptr) {
    return false;
  }
  const SKeyValueInfoLib* annotation =
      Find(meta.annotations, "openshift.io/deployment-config.name");
  const SKeyValueInfoLib* label = Find(meta.labels, "deploymentconfig");
  if (annotation != nullptr || label != nullptr) {
    return (annotation != nullptr && annotation->value == dcName) ||
           (label != nullptr && label->value == dcName);
  }
  return HasReplicaPodName(meta.name, dcName);
}

bool WQOpenShiftSDKWrapper::ExecuteCommandInDC(const std::string& nameSpace,
                                               const std::string& dcName,
                                               const std::string& command, std::string& out,
                                               std::string& err) {
  SDeploymentConfigInfoLib dc;
  if (!queries->GetDeploymentConfig(nameSpace, dcName, dc, 0)) {
    Error(WrapperContexts::kExecuteCommandInDC, "Failed to get Deployment Config Info for [%s/%s]",
          nameSpace.c_str(), dcName.c_str());
    return false;
  }
  return InternalExecuteCommandInDC(nameSpace, dc, command, out, err);
}

bool WQOpenShiftSDKWrapper::ExecuteAnnotationCommandInDC(const std::string& nameSpace,
                                                         const std::string& dcName,
                                                         const std::string& annotation,
                                                         std::string& out, std::string& err) {
  SDeploymentConfigInfoLib dc;
  if (!queries->GetDeploymentConfig(nameSpace, dcName, dc, 0)) {
    Error(WrapperContexts::kExecuteAnnotationCommandInDC,
          "Failed to get Deployment Config Info for [%s/%s]", nameSpace.c_str(), dcName.c_str());
    return false;
  }
  const SKeyValueInfoLib* entry = Find(dc.metadata.annotations, annotation);
  if (entry == nullptr) {
    Error(WrapperContexts::kExecuteAnnotationCommandInDC,
          "Failed to get annnotation [%s] for [%s/%s]", annotation.c_str(), nameSpace.c_str(),
          dcName.c_str());
    return false;
  }
  const std::string command = entry->value;
  return InternalExecuteCommandInDC(nameSpace, dc, command, out, err);
}

bool WQOpenShiftSDKWrapper::InternalExecuteCommandInDC(const std::string& nameSpace,
                                                       const SDeploymentConfigInfoLib& dc,
                                                       const std::string& command, std::string& out,
                                                       std::string& err) {
  const std::string& dcName = dc.metadata.name;
  // The command line runs through the local shell: the command goes in as words the shell
  // hands on unchanged, and one it would read as more than words is not run anywhere.
  std::vector<std::string> words;
  std::string why;
  if (!SplitShellWords(command, words, why)) {
    Error(WrapperContexts::kInternalExecuteCommandInDC,
          "Refusing command [%s] for [%s/%s]: %s; a command is plain words and quoted strings",
          command.c_str(), nameSpace.c_str(), dcName.c_str(), why.c_str());
    return false;
  }
  std::string quoted;
  for (const std::string& word : words) {
    quoted += (quoted.empty() ? "" : " ") + QuoteShellWord(word);
  }
  if (dc.status.readyReplicas != dc.status.replicas) {
    Error(WrapperContexts::kInternalExecuteCommandInDC, "Not all replicas ready for [%s/%s]",
          nameSpace.c_str(), dcName.c_str());
    return false;
  }
  std::vector<SPodInfoLib> pods;
  if (!queries->GetPodInfoList(nameSpace, pods, 0)) {
    Error(WrapperContexts::kInternalExecuteCommandInDC, "Failed to get pod list for [%s]",
          nameSpace.c_str());
    return false;
  }
  Debug(WrapperContexts::kInternalExecuteCommandInDC, "Executing Command [%s] In Pod for [%s][%s]",
        command.c_str(), nameSpace.c_str(), dcName.c_str());
  std::string outputs;
  std::string errors;
  for (const SPodInfoLib& pod : pods) {
    if (!IsRunningPodOfDeploymentConfig(pod, dcName)) continue;
    const std::string& podName = pod.metadata.name;
    std::string podOut;
    std::string podErr;
    if (!connection->executeCommandInPod(nameSpace, podName, std::string(), quoted, podOut,
                                         podErr)) {
      Error(WrapperContexts::kInternalExecuteCommandInDC,
            "Failed to execute command in pod for [%s/%s]", nameSpace.c_str(), podName.c_str());
      return false;
    }
    outputs += podName + ":" + podOut + "\n";
    errors += podName + ":" + podErr + "\n";
  }
  out = outputs;
  err = errors;
  return true;
}

}  // namespace OpenShiftSDKWrapper
