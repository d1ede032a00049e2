// A program built against the installed library: logs in with a password or a
// service-account token and lists the projects it can see.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "wrapper/openshiftWrapper.h"

using namespace OpenShiftSDKWrapper;

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: %s URL USER PASSWORD | %s URL --token SERVICEACCOUNT TOKEN\n",
                 argv[0], argv[0]);
    return 2;
  }
  WQOpenShiftSDKWrapper sdk;
  const std::map<std::string, SSshLoginCreds> noNodes;
  const bool tokenLogin = std::string(argv[2]) == "--token";
  const bool connected = tokenLogin ? sdk.ConnectServiceAccount(argv[1], argv[3], argv[4], noNodes)
                                    : sdk.Connect(argv[1], argv[2], argv[3], noNodes);
  if (!connected) {
    std::fprintf(stderr, "login failed\n");
    return 1;
  }
  std::vector<SProjectInfoLib> projects;
  if (!sdk.GetProjectInfoList(projects, 0)) {
    std::fprintf(stderr, "listing projects failed\n");
    return 1;
  }
  for (const SProjectInfoLib& project : projects)
    std::printf("%s\n", project.metadata.name.c_str());
  return projects.empty() ? 1 : 0;
}
