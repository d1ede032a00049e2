// One remote command through executeRemoteCommand against the OpenSSH client with the same
// key, node and key exchange, 50 times each, alternating so that both see the same load.
// Runs inside the storage-node sandbox: sandbox/wq-sandbox --no-gluster -- ssh_bench [N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "connection/openshiftConnection.h"
#include "host/debugLog.h"
#include "host/process.h"

namespace {

using namespace OpenShiftSDKWrapper;  // NOLINT(google-build-using-namespace)
using Clock = std::chrono::steady_clock;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Series {
  std::vector<double> ms;
  void Add(Clock::time_point start) {
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  double Total() const {
    double sum = 0;
    for (double value : ms) sum += value;
    return sum;
  }
  double Median() const {
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    return sorted.empty() ? 0 : sorted[sorted.size() / 2];
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 50;
  std::istringstream nodes(Env("WQSANDBOX_NODES"));
  std::string node;
  nodes >> node;
  const std::string key = Env("WQSANDBOX_KEY_ED25519");
  if (node.empty() || key.empty() || runs <= 0) {
    std::fprintf(stderr, "run inside sandbox/wq-sandbox: ssh_bench [runs]\n");
    return 2;
  }
  // The library checks the node's host key as the client does.
  setenv("WQOSDK_KNOWN_HOSTS", (Env("WQSANDBOX_DIR") + "/keys/known_hosts").c_str(), 1);
  WQOpenShiftConnection connection;
  std::map<std::string, SSshLoginCreds> credentials;
  credentials[node] = {Env("WQSANDBOX_USER"), "", ReadFile(key), ""};
  if (!connection.connectServiceAccount("https://127.0.0.1:9", "bench", "token", credentials)) {
    return 1;
  }
  DebugLog::SetSink([](const LogLine& line) {
    if (line.level == "ERROR") std::fprintf(stderr, "%s\n", FormatLogLine(line).c_str());
  });
  const std::string command = "echo one line";
  const std::string client = "ssh -F '" + Env("WQSANDBOX_SSH_CONFIG") +
                             "' -o BatchMode=yes -o KexAlgorithms=curve25519-sha256 -i '" + key +
                             "' " + node + " '" + command + "'";

  Series library;
  Series openssh;
  for (int i = 0; i < runs; ++i) {
    std::string out;
    std::string err;
    Clock::time_point start = Clock::now();
    const bool ok = connection.executeRemoteCommand(node, command, out, err);
    library.Add(start);
    if (!ok || out != "one line\n") {
      std::fprintf(stderr, "executeRemoteCommand failed: [%s] [%s]\n", out.c_str(), err.c_str());
      return 1;
    }
    out.clear();
    err.clear();
    start = Clock::now();
    const int rc = WqProcess::RunReal({client, {}}, out, err);
    openssh.Add(start);
    if (rc != 0 || out != "one line\n") {
      std::fprintf(stderr, "ssh failed (%d): [%s] [%s]\n", rc, out.c_str(), err.c_str());
      return 1;
    }
  }
  std::printf("%d commands on %s, alternating\n", runs, node.c_str());
  std::printf("%-22s %10s %12s %12s\n", "", "total s", "mean ms", "median ms");
  for (const auto& row :
       {std::make_pair("executeRemoteCommand", &library), std::make_pair("ssh client", &openssh)}) {
    std::printf("%-22s %10.2f %12.1f %12.1f\n", row.first, row.second->Total() / 1000,
                row.second->Total() / runs, row.second->Median());
  }
  std::printf("library / client (mean): %.2f\n", library.Total() / openssh.Total());
  DebugLog::SetSink(nullptr);
  return 0;
}
