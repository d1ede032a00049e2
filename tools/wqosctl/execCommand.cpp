// wqosctl exec: a command in the running pods of a deployment config.
#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"

namespace wqosctl {

int RunExec(Context& context) {
  const Invocation& invocation = context.invocation;
  const std::string& dc = invocation.positional[0];
  OpenShiftSDKWrapper::WQOpenShiftSDKWrapper& sdk = context.session.Sdk();
  std::string out;
  std::string err;
  LibraryLog::Mark();
  bool ok;
  if (!invocation.annotation.empty()) {
    ok =
        sdk.ExecuteAnnotationCommandInDC(invocation.nameSpace, dc, invocation.annotation, out, err);
  } else {
    ok = sdk.ExecuteCommandInDC(invocation.nameSpace, dc, PodCommandLine(invocation.words), out,
                                err);
  }
  if (!ok) {
    PrintErr("wqosctl: the command failed in deployment config " + invocation.nameSpace + "/" + dc +
             "\n");
    for (const std::string& line : LibraryLog::ErrorsSinceMark(3)) {
      PrintErr("    library: " + line + "\n");
    }
    return kExitFailed;
  }
  PrintOut(out);
  // Pods with nothing on standard error leave "POD:" lines only; those are not worth showing.
  bool anyError = false;
  for (size_t start = 0; start < err.size();) {
    const size_t end = err.find('\n', start);
    const std::string line = err.substr(start, end == std::string::npos ? end : end - start);
    if (!line.empty() && line.back() != ':') anyError = true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (anyError) PrintErr(err);
  if (out.empty()) PrintErr("wqosctl: no running pod of " + dc + " found\n");
  return kExitOk;
}

}  // namespace wqosctl
