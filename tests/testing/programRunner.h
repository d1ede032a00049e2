#pragma once
// Running a program: arguments, an exact environment, and what it prints and returns. Its
// output and the log file its environment names go to the secrets sweep.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/testing/secretsSweep.h"

namespace wqtest {

struct Result {
  int code = -1;
  std::string out;
  std::string err;
  std::string all() const { return out + err; }
};

using Environment = std::map<std::string, std::string>;

// This process's environment without the variables that would steer the programs.
inline Environment CleanEnv() {
  Environment env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const size_t equals = text.find('=');
    const std::string name = text.substr(0, equals);
    if (name.rfind("WQOSCTL_", 0) == 0 || name == "dBASEHOME" || name.rfind("WQOSDK_", 0) == 0) {
      continue;
    }
    env[name] = text.substr(equals + 1);
  }
  return env;
}

inline Result Run(const std::vector<std::string>& args, const Environment& env) {
  Result result;
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return result;
  std::vector<std::string> words = args;
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  std::vector<std::string> entries;
  for (const auto& entry : env) entries.push_back(entry.first + "=" + entry.second);
  std::vector<char*> envp;
  for (std::string& entry : entries) envp.push_back(&entry[0]);
  envp.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    const int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0 && poll(fds, 2, -1) >= 0) {
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[8192];
      const ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
      if (count > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(count));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  // The arguments are the test's own: a test may hand a secret on purpose to see it refused.
  const std::string program = args.empty() ? std::string() : args[0];
  SweepRecord("the output of " + program, result.all());
  const auto logFile = env.find("WQOSDK_LOG_FILE");
  if (logFile != env.end()) {
    std::ifstream log(logFile->second, std::ios::binary);
    SweepRecord("the log of " + program, std::string(std::istreambuf_iterator<char>(log), {}));
  }
  return result;
}

// A secret no program prints by chance, registered with the secrets sweep.
inline std::string UniqueSecret(const char* what) {
  const std::string secret = std::string("S3cr3t-") + what + "-" + std::to_string(getpid()) + "-" +
                             std::to_string(rand() % 1000000);
  RegisterSecret(what, secret);
  return secret;
}

}  // namespace wqtest
