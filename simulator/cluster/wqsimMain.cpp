// wqsim: a simulated OpenShift 3.11 cluster on https://127.0.0.1:8443, seeded from a scenario
// file. Prints "listening https://127.0.0.1:PORT" once it serves and runs until SIGTERM or
// SIGINT.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "host/uniqueFd.h"
#include "simulator/cluster/clusterSimulator.h"
#include "simulator/endSignals.h"

namespace {

const int kDefaultPort = 8443;

void Usage(const char* program) {
  std::fprintf(
      stderr,
      "usage: %s [--port PORT] [--scenario FILE] [--ca-out FILE]\n"
      "          [--storage-command COMMAND] [--data-dir DIR]\n"
      "  --port PORT               listen on 127.0.0.1:PORT (default %d; 0: any free port)\n"
      "  --scenario FILE           users, tokens, settings and objects to start with (JSON)\n"
      "  --ca-out FILE             sign the server certificate with a generated CA and\n"
      "                            write the CA certificate (PEM) to FILE\n"
      "  --storage-command COMMAND run \"COMMAND create|delete VOLNAME\" for provisioned\n"
      "                            GlusterFS volumes\n"
      "  --data-dir DIR            otherwise keep each volume as a directory under DIR\n",
      program, kDefaultPort);
}

bool ParsePort(const std::string& text, int& port) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || value < 0 || value > 65535) return false;
  port = static_cast<int>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  wqsim::ServerOptions options;
  options.port = kDefaultPort;
  std::string scenarioFile;
  std::string caOut;
  std::string storageCommand;
  std::string dataDir;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--port" && hasValue && ParsePort(argv[i + 1], options.port)) {
      ++i;
    } else if (option == "--scenario" && hasValue) {
      scenarioFile = argv[++i];
    } else if (option == "--ca-out" && hasValue) {
      caOut = argv[++i];
    } else if (option == "--storage-command" && hasValue) {
      storageCommand = argv[++i];
    } else if (option == "--data-dir" && hasValue) {
      dataDir = argv[++i];
    } else {
      Usage(argv[0]);
      return 2;
    }
  }

  wqsim::Scenario scenario;
  std::string error;
  if (!scenarioFile.empty() && !wqsim::LoadScenarioFile(scenarioFile, scenario, error)) {
    std::fprintf(stderr, "wqsim: %s\n", error.c_str());
    return 1;
  }
  if (!storageCommand.empty()) scenario.storageCommand = storageCommand;
  if (!dataDir.empty()) scenario.dataDir = dataDir;

  const OpenShiftSDKWrapper::UniqueFd signals = wqsim::BlockEndSignals();
  if (!signals.IsOpen()) return 1;

  wqsim::ClusterSimulator simulator(std::move(scenario));
  options.signWithCa = !caOut.empty();
  if (!simulator.Start(error, options)) {
    std::fprintf(stderr, "wqsim: %s\n", error.c_str());
    return 1;
  }
  if (!caOut.empty() && !simulator.Server().WriteTrustPem(caOut)) {
    std::fprintf(stderr, "wqsim: cannot write %s\n", caOut.c_str());
    return 1;
  }
  std::cout << "listening " << simulator.BaseUrl() << std::endl;

  signalfd_siginfo received;
  while (read(signals.Get(), &received, sizeof(received)) < 0 && errno == EINTR) {
  }
  simulator.Stop();
  return 0;
}
