// Commands in a pod's container, through the cluster command-line client.
#include "connection/logContexts.h"
#include "connection/openshiftConnection.h"
#include "connection/textSafety.h"
#include "host/platformInfo.h"
#include "host/process.h"

namespace OpenShiftSDKWrapper {

namespace {

// The command line up to the token and from the token on: the log shows the two parts
// around a masked token.
struct PodCommandLine {
  std::string beforeToken;
  std::string afterToken;
};

PodCommandLine BuildPodCommandLine(const std::string& base, const std::string& nameSpace,
                                   const std::string& pod, const std::string& container,
                                   const std::string& command) {
  PodCommandLine line;
  line.beforeToken = base + "/wqOpenShiftCLI exec " + pod + " " + "--token=";
  line.afterToken = std::string(" ") + "-n " + nameSpace + " ";
  if (!container.empty()) line.afterToken += "-c " + container + " ";
  line.afterToken += command + "\n";
  return line;
}

}  // namespace

bool WQOpenShiftConnection::executeCommandInPod(const std::string& nameSpace,
                                                const std::string& pod,
                                                const std::string& container,
                                                const std::string& command, std::string& out,
                                                std::string& err) {
  // The names stand unquoted in a command line that the local shell runs.
  for (const std::string* name : {&nameSpace, &pod, &container}) {
    if (IsClusterName(*name) || (name == &container && name->empty())) continue;
    Error(ConnectionContexts::kExecuteCommandInPod,
          "Refusing [%s]: not a valid name of a namespace, pod or container", name->c_str());
    return false;
  }
  std::string base;
  WQPlatformInfo platformInfo;
  if (!platformInfo.getString("Base", "dBASEHOME", base)) {
    Error(ConnectionContexts::kExecuteCommandInPod, "Failed to get base location");
    return false;
  }
  const PodCommandLine line = BuildPodCommandLine(base, nameSpace, pod, container, command);
  ProcessEnv env = SecretForChild(kTokenVariable, token);
  const int result = WqProcess::system(line.beforeToken + kTokenReference + line.afterToken, out,
                                       err, 0, false, env);
  WipeSecret(env.front().second);
  if (result != 0) {
    const std::string logged = line.beforeToken + MaskSecret(token) + line.afterToken;
    Error(ConnectionContexts::kExecuteCommandInPod, "Failed to execute - [%s] Out[%s] Err[%s].",
          logged.c_str(), out.c_str(), err.c_str());
    return false;
  }
  return true;
}

}  // namespace OpenShiftSDKWrapper
