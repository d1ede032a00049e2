// The wqsim program on the sample scenario: it serves what the scenario describes, kubectl
// reads it like a cluster, and SIGTERM ends it cleanly. Also the scenario reader's refusals.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/simulator/simulatorTestUtil.h"

namespace wqsim {
namespace testing {
namespace {

namespace bj = boost::json;

const char* const kKubectl = "/usr/bin/kubectl";
const char* const kSampleToken = "wqsim-sample-token-aVeryLongServiceAccount0";

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Runs the program with its standard output on a pipe; stopped with SIGTERM.
class Program {
 public:
  explicit Program(const std::vector<std::string>& arguments) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      close(fds[1]);
      std::vector<char*> argv;
      for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
  }
  ~Program() {
    if (pid_ > 0) Stop();
    if (out_ >= 0) close(out_);
  }

  // The first line of standard output, waiting up to `seconds`.
  std::string FirstLine(int seconds) {
    std::string line;
    pollfd fd{out_, POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&fd, 1, seconds * 1000) > 0) {
      char buffer[256];
      const ssize_t got = read(out_, buffer, sizeof(buffer));
      if (got <= 0) break;
      line.append(buffer, static_cast<size_t>(got));
    }
    return line.substr(0, line.find('\n'));
  }

  // Sends SIGTERM and returns the exit status, or -1 when it did not exit normally.
  int Stop() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

// Runs a shell command line; returns its exit status and standard output.
int RunShell(const std::string& commandLine, std::string& out) {
  FILE* pipe = popen(commandLine.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ProgramTest, ServesTheSampleScenarioToKubectlAndEndsOnSigterm) {
  const std::string ca = ::testing::TempDir() + "wqsim-ca-" + std::to_string(getpid()) + ".pem";
  Program program(
      {WQSIM_PROGRAM, "--port", "0", "--scenario", WQSIM_SAMPLE_SCENARIO, "--ca-out", ca});
  const std::string line = program.FirstLine(20);
  std::smatch match;
  ASSERT_TRUE(
      std::regex_match(line, match, std::regex("listening (https://127\\.0\\.0\\.1:[0-9]+)")))
      << line;
  const std::string url = match[1].str();
  const std::string trust = ReadFile(ca);
  ASSERT_NE(std::string::npos, trust.find("BEGIN CERTIFICATE"));

  // What the sample scenario promises.
  const bj::object config = ParsedObject(
      Send(url, trust, "GET", "/oapi/v1/namespaces/demo/deploymentconfigs/web", "", kSampleToken)
          .body);
  EXPECT_EQ("2", At(config, "status/availableReplicas"));
  EXPECT_FALSE(At(config, "metadata/annotations/wq.quiesce").empty());
  EXPECT_FALSE(At(config, "metadata/annotations/wq.unquiesce").empty());
  const bj::object claims = ParsedObject(
      Send(url, trust, "GET", "/api/v1/namespaces/demo/persistentvolumeclaims", "", kSampleToken)
          .body);
  ASSERT_EQ(2u, claims.at("items").as_array().size());
  for (const bj::value& claim : claims.at("items").as_array()) {
    EXPECT_EQ("Bound", At(claim.as_object(), "status/phase"));
    EXPECT_EQ("glusterfs-storage", At(claim.as_object(), "spec/storageClassName"));
  }
  EXPECT_EQ(200,
            Send(url, trust, "GET", "/api/v1/namespaces/demo/secrets/web-secret", "", kSampleToken)
                .status);
  EXPECT_EQ(200, Send(url, trust, "GET", "/api/v1/namespaces/demo/configmaps/web-config", "",
                      kSampleToken)
                     .status);
  EXPECT_EQ("kubernetes.io/glusterfs",
            At(ParsedObject(Send(url, trust, "GET",
                                 "/apis/storage.k8s.io/v1/storageclasses/glusterfs-storage", "",
                                 kSampleToken)
                                .body),
               "provisioner"));

  // kubectl reads a list and an object exactly as a direct GET does.
  ASSERT_TRUE(std::filesystem::exists(kKubectl))
      << "kubectl is not installed at " << kKubectl << "; this test reads the simulator through it";
  const std::string kubeconfig =
      ::testing::TempDir() + "wqsim-kubeconfig-" + std::to_string(getpid());
  std::ofstream(kubeconfig) << "";
  for (const char* path : {"/api/v1/namespaces/demo/persistentvolumeclaims",
                           "/oapi/v1/namespaces/demo/deploymentconfigs/web"}) {
    std::string out;
    const int status =
        RunShell("KUBECONFIG=" + kubeconfig + " " + kKubectl + " get --raw " + path + " --server " +
                     url + " --token " + kSampleToken + " --insecure-skip-tls-verify 2>&1",
                 out);
    EXPECT_EQ(0, status) << out;
    const HttpResult direct = Send(url, trust, "GET", path, "", kSampleToken);
    EXPECT_EQ(ParsedObject(direct.body), ParsedObject(out)) << path;
    EXPECT_FALSE(ParsedObject(out).empty()) << out;
  }
  std::filesystem::remove(kubeconfig);

  EXPECT_EQ(0, program.Stop());
  std::filesystem::remove(ca);
}

TEST(ProgramTest, RefusesAScenarioItCannotUse) {
  const std::string scenario =
      ::testing::TempDir() + "wqsim-bad-" + std::to_string(getpid()) + ".json";
  std::ofstream(scenario) << R"({"projects": ["demo"], "claims": []})";
  std::string out;
  EXPECT_EQ(
      1, RunShell(std::string(WQSIM_PROGRAM) + " --port 0 --scenario " + scenario + " 2>&1", out));
  EXPECT_NE(std::string::npos, out.find("unknown member \"claims\"")) << out;
  std::filesystem::remove(scenario);
  out.clear();
  EXPECT_EQ(2, RunShell(std::string(WQSIM_PROGRAM) + " --port x 2>&1", out));
}

struct ScenarioRow {
  const char* text;
  const char* error;  // empty: accepted
};

class ScenarioTest : public ::testing::TestWithParam<ScenarioRow> {};

TEST_P(ScenarioTest, ParsesOrSaysWhy) {
  Scenario scenario;
  std::string error;
  const bool parsed = ParseScenario(GetParam().text, scenario, error);
  EXPECT_EQ(std::string(GetParam().error).empty(), parsed) << error;
  EXPECT_NE(std::string::npos, error.find(GetParam().error)) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ScenarioTest,
    ::testing::Values(
        ScenarioRow{R"({"claimBindReads": 0, "scaleReads": 3, "storageNodes": ["10.0.0.1"]})", ""},
        ScenarioRow{"[]", "not a JSON object"},
        ScenarioRow{R"({"secrets": [{"metadata": {"name": "s"}}]})",
                    "Secret \"s\" names no metadata.namespace"},
        ScenarioRow{R"({"scaleReads": -1})", "\"scaleReads\" must be a number of reads"},
        ScenarioRow{R"({"users": [{"password": "p"}]})", "every user needs a \"name\""},
        ScenarioRow{R"({"storageNodes": "10.0.0.1"})",
                    "\"storageNodes\" must be a list of strings"},
        ScenarioRow{R"({"pods": [1]})", "every entry of \"pods\" must be an object"}));

TEST(ScenarioSeedTest, NamespacesInUseBecomeProjectsAndBadObjectsStopTheStart) {
  Scenario scenario;
  std::string error;
  ASSERT_TRUE(
      ParseScenario(R"({"configMaps": [{"metadata": {"name": "c", "namespace": "implicit"}}]})",
                    scenario, error));
  ClusterSimulator simulator(scenario);
  ASSERT_TRUE(simulator.Start(error)) << error;
  ApiAnswer answer;
  ASSERT_TRUE(
      simulator.Api().Serve(ApiRequest{"GET", "/oapi/v1/projects/implicit", "", false}, answer));
  EXPECT_EQ(200, answer.status);

  ASSERT_TRUE(ParseScenario(
      R"({"projects": ["p"], "secrets": [{"metadata": {"name": "Bad", "namespace": "p"}}]})",
      scenario, error));
  ClusterSimulator refused(scenario);
  EXPECT_FALSE(refused.Start(error));
  EXPECT_NE(std::string::npos, error.find("Secret \"Bad\": Secret \"Bad\" is invalid")) << error;
}

}  // namespace
}  // namespace testing
}  // namespace wqsim
