// wqsim-test-server: the test server as a program, for scripts and example programs.
// It accepts one user's password at the OAuth endpoint and the given service-account
// tokens, serves GET /oapi/v1/projects, prints "listening https://127.0.0.1:PORT" and runs
// until SIGTERM or SIGINT, or until its standard input closes.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "host/uniqueFd.h"
#include "simulator/endSignals.h"
#include "simulator/testServer.h"

namespace {

const char* const kBuiltInProjects =
    "{\"kind\":\"ProjectList\",\"apiVersion\":\"v1\",\"metadata\":{\"selfLink\":\"/oapi/v1/"
    "projects\","
    "\"resourceVersion\":\"4711\"},\"items\":["
    "{\"metadata\":{\"name\":\"default\",\"selfLink\":\"/oapi/v1/projects/default\","
    "\"uid\":\"0c0e3f5a-31b5-11e8-8991-525400f66312\",\"resourceVersion\":\"1040\","
    "\"creationTimestamp\":\"2018-03-27T10:12:44Z\"},"
    "\"spec\":{\"finalizers\":[\"openshift.io/"
    "origin\",\"kubernetes\"]},\"status\":{\"phase\":\"Active\"}},"
    "{\"metadata\":{\"name\":\"demo\",\"selfLink\":\"/oapi/v1/projects/demo\","
    "\"uid\":\"5d2a7c6e-31b6-11e8-8991-525400f66312\",\"resourceVersion\":\"2210\","
    "\"creationTimestamp\":\"2018-03-27T10:22:09Z\","
    "\"annotations\":{\"openshift.io/display-name\":\"Demo\"}},"
    "\"spec\":{\"finalizers\":[\"openshift.io/"
    "origin\",\"kubernetes\"]},\"status\":{\"phase\":\"Active\"}}"
    "]}\n";

void Usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s [--user USER] [--password PASSWORD] [--token TOKEN]... "
               "[--projects-file FILE] [--ca-out FILE] [--ignore-stdin]\n"
               "  --ca-out FILE   sign the server certificate with a generated CA and write the\n"
               "                  CA certificate (PEM) to FILE\n"
               "  --ignore-stdin  keep running when standard input closes\n",
               program);
}

bool ReadFile(const std::string& path, std::string& content) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream text;
  text << file.rdbuf();
  content = text.str();
  return true;
}

// Waits for SIGTERM or SIGINT, or for the end of standard input when `watchStdin`.
void WaitForEnd(int signalFd, bool watchStdin) {
  pollfd fds[2] = {{signalFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
  for (;;) {
    int ready = poll(fds, watchStdin ? 2 : 1, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) return;
    if (watchStdin && fds[1].revents != 0) {
      char buffer[256];
      ssize_t got = read(STDIN_FILENO, buffer, sizeof(buffer));
      if (got == 0 || (got < 0 && errno != EINTR)) return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string user = "developer";
  std::string password = "developer";
  std::vector<std::string> tokens;
  std::string projectsFile;
  std::string caOut;
  bool watchStdin = true;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--user" && hasValue) {
      user = argv[++i];
    } else if (option == "--password" && hasValue) {
      password = argv[++i];
    } else if (option == "--token" && hasValue) {
      tokens.emplace_back(argv[++i]);
    } else if (option == "--projects-file" && hasValue) {
      projectsFile = argv[++i];
    } else if (option == "--ca-out" && hasValue) {
      caOut = argv[++i];
    } else if (option == "--ignore-stdin") {
      watchStdin = false;
    } else {
      Usage(argv[0]);
      return 2;
    }
  }

  std::string projects = kBuiltInProjects;
  if (!projectsFile.empty() && !ReadFile(projectsFile, projects)) {
    std::fprintf(stderr, "cannot read %s: %s\n", projectsFile.c_str(), std::strerror(errno));
    return 1;
  }

  const OpenShiftSDKWrapper::UniqueFd signals = wqsim::BlockEndSignals();
  if (!signals.IsOpen()) return 1;

  wqsim::TestServer server;
  server.AddUser(user, password);
  for (const std::string& token : tokens) server.AddServiceAccountToken(token);
  server.SetDefaultHandler([projects](const wqsim::RecordedRequest& request, wqsim::Reply& reply) {
    if (request.method != "GET" || request.path != "/oapi/v1/projects") return false;
    reply.body = projects;
    return true;
  });
  wqsim::ServerOptions options;
  options.signWithCa = !caOut.empty();
  if (!server.Start(options)) {
    std::fprintf(stderr, "the test server could not start\n");
    return 1;
  }
  if (!caOut.empty() && !server.WriteTrustPem(caOut)) {
    std::fprintf(stderr, "cannot write %s\n", caOut.c_str());
    return 1;
  }
  std::cout << "listening " << server.BaseUrl() << std::endl;

  WaitForEnd(signals.Get(), watchStdin);
  server.Stop();
  return 0;
}
