// Commands in the pods of a deployment config, through the facade over HTTPS to the scripted
// test server, with the process runner recording the command-line client calls.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/debugLog.h"
#include "host/process.h"
#include "tests/testing/sandbox.h"
#include "tests/testing/testSupport.h"
#include "wrapper/dcPods.h"
#include "wrapper/openshiftWrapper.h"

namespace {

using namespace OpenShiftSDKWrapper;  // NOLINT(google-build-using-namespace)

const char* const kToken = "dc-commands-token-0123456789";
const char* const kDcPath = "/oapi/v1/namespaces/shop/deploymentconfigs/web";
const char* const kPodsPath = "/api/v1/namespaces/shop/pods";
const char* const kCli = "/opt/agent/wqOpenShiftCLI exec ";

std::string DeploymentConfig(int replicas, int ready, const std::string& annotations = "{}") {
  return "{\"kind\":\"DeploymentConfig\",\"apiVersion\":\"v1\",\"metadata\":{\"name\":\"web\","
         "\"namespace\":\"shop\",\"annotations\":" +
         annotations + "},\"spec\":{\"replicas\":" + std::to_string(replicas) +
         "},\"status\":{\"replicas\":" + std::to_string(replicas) +
         ",\"readyReplicas\":" + std::to_string(ready) + "}}";
}

struct PodSpec {
  std::string name;
  std::string phase;
  std::string labels = "{}";
  std::string annotations = "{}";
};

std::string PodJson(const PodSpec& pod) {
  return "{\"metadata\":{\"name\":\"" + pod.name + "\",\"labels\":" + pod.labels +
         ",\"annotations\":" + pod.annotations + "},\"status\":{\"phase\":\"" + pod.phase + "\"}}";
}

std::string PodList(const std::vector<PodSpec>& pods) {
  std::string items;
  for (const PodSpec& pod : pods) items += (items.empty() ? "" : ",") + PodJson(pod);
  return "{\"kind\":\"PodList\",\"apiVersion\":\"v1\",\"metadata\":{},\"items\":[" + items + "]}";
}

SPodInfoLib Pod(const PodSpec& spec) {
  WQOpenShiftParser parser;
  SPodInfoLib pod;
  EXPECT_TRUE(parser.ParsePod(PodJson(spec), pod));
  return pod;
}

const std::string kOwnAnnotation = "{\"openshift.io/deployment-config.name\":\"web\"}";

struct PodRow {
  const char* label;
  PodSpec pod;
  bool selected;
};
void PrintTo(const PodRow& row, std::ostream* os) { *os << row.label; }

class DcPodTest : public ::testing::TestWithParam<PodRow> {};

TEST_P(DcPodTest, SelectsOnlyRunningApplicationPodsOfTheConfig) {
  EXPECT_EQ(IsRunningPodOfDeploymentConfig(Pod(GetParam().pod), "web"), GetParam().selected);
}

INSTANTIATE_TEST_SUITE_P(
    Pods, DcPodTest,
    ::testing::Values(
        PodRow{"annotated", {"web-3-x7k2p", "Running", "{}", kOwnAnnotation}, true},
        PodRow{
            "renamed_but_labelled", {"custom", "Running", "{\"deploymentconfig\":\"web\"}"}, true},
        PodRow{"name_only", {"web-12-abc9z", "Running"}, true},
        PodRow{"not_running", {"web-3-x7k2p", "Pending", "{}", kOwnAnnotation}, false},
        PodRow{"deployer_by_name", {"web-3-deploy", "Running"}, false},
        PodRow{"deployer_by_label",
               {"web-3-deploy", "Running", "{\"openshift.io/deployer-pod-for.name\":\"web-3\"}",
                "{\"openshift.io/deployment.name\":\"web-3\"}"},
               false},
        PodRow{"build_by_annotation",
               {"web-1-build", "Running", "{}", "{\"openshift.io/build.name\":\"web-1\"}"},
               false},
        PodRow{"hook_pod", {"web-3-hook-pre", "Running"}, false},
        PodRow{"other_config_labelled",
               {"web-db-1-qwert", "Running", "{\"deploymentconfig\":\"web-db\"}"},
               false},
        PodRow{"other_config_by_name", {"web-db-1-qwert", "Running"}, false},
        PodRow{"longer_name_by_name", {"webshop-1-qwert", "Running"}, false},
        PodRow{"no_version", {"web-abcde", "Running"}, false}),
    [](const auto& info) { return std::string(info.param.label); });

class DcCommandsTest : public ::testing::Test, public wqtest::LogCapture {
 protected:
  void SetUp() override {
    WqProcess::SetRunner(wqtest::SweepRunner(
        [this](const ProcessRequest& request, std::string& out, std::string& err) {
          commands_.push_back(request.command);
          const size_t pod = request.command.find("exec ");
          const std::string name =
              pod == std::string::npos
                  ? std::string()
                  : request.command.substr(pod + 5, request.command.find(' ', pod + 5) - pod - 5);
          if (name == failingPod_) return 1;
          out += "out of " + name + "\nline 2";
          err += "err of " + name;
          return 0;
        }));
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(facade_.ConnectServiceAccount(server_->BaseUrl(), "backup", kToken,
                                              std::map<std::string, SSshLoginCreds>()));
    commands_.clear();
    lines_.clear();
  }
  void TearDown() override { WqProcess::SetRunner(wqtest::SweepRunner(nullptr)); }

  void Serve(const std::string& dc, const std::vector<PodSpec>& pods) {
    server_->Script("GET", kDcPath, wqsim::ScriptedAnswer::Json(200, dc));
    server_->Script("GET", kPodsPath, wqsim::ScriptedAnswer::Json(200, PodList(pods)));
  }

  bool Logged(const std::string& message) const {
    for (const LogLine& line : lines_) {
      if (line.message == message) return true;
    }
    return false;
  }

  std::vector<PodSpec> MixedPods() const {
    return {{"web-3-aaaaa", "Running", "{}", kOwnAnnotation},
            {"web-3-deploy", "Succeeded"},
            {"web-db-1-qwert", "Running", "{\"deploymentconfig\":\"web-db\"}"},
            {"web-1-build", "Running", "{}", "{\"openshift.io/build.name\":\"web-1\"}"},
            {"web-3-bbbbb", "Running", "{\"deploymentconfig\":\"web\"}"},
            {"web-3-ccccc", "Pending", "{}", kOwnAnnotation}};
  }

  wqtest::ScopedEnv base_{"dBASEHOME", "/opt/agent"};
  wqtest::ScopedEnv connectTimeout_{"WQOSDK_CONNECT_TIMEOUT", "5"};
  wqtest::TrustedServer server_{kToken};
  std::vector<std::string> commands_;
  std::string failingPod_;
  WQOpenShiftSDKWrapper facade_;
};

TEST_F(DcCommandsTest, RunsInEachRunningPodOfTheConfigAndCollectsTheOutput) {
  Serve(DeploymentConfig(2, 2), MixedPods());
  std::string out;
  std::string err;
  ASSERT_TRUE(facade_.ExecuteCommandInDC("shop", "web", "-- sync", out, err));
  EXPECT_EQ(commands_,
            (std::vector<std::string>{
                kCli + std::string("web-3-aaaaa --token=\"${OCTOKEN}\"") + " -n shop -- sync\n",
                kCli + std::string("web-3-bbbbb --token=\"${OCTOKEN}\"") + " -n shop -- sync\n"}));
  EXPECT_EQ(out,
            "web-3-aaaaa:out of web-3-aaaaa\nline 2\nweb-3-bbbbb:out of web-3-bbbbb\nline 2\n");
  EXPECT_EQ(err, "web-3-aaaaa:err of web-3-aaaaa\nweb-3-bbbbb:err of web-3-bbbbb\n");
  EXPECT_TRUE(Logged("Executing Command [-- sync] In Pod for [shop][web]"));
}

TEST_F(DcCommandsTest, NoPodOfTheConfigSucceedsWithNothingCollected) {
  Serve(DeploymentConfig(0, 0), {{"web-1-deploy", "Running"}, {"webshop-1-aaaaa", "Running"}});
  std::string out = "old";
  std::string err = "old";
  ASSERT_TRUE(facade_.ExecuteCommandInDC("shop", "web", "-- sync", out, err));
  EXPECT_TRUE(commands_.empty());
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
}

TEST_F(DcCommandsTest, FailureInALaterPodDiscardsEverything) {
  Serve(DeploymentConfig(2, 2), MixedPods());
  failingPod_ = "web-3-bbbbb";
  std::string out = "untouched";
  std::string err = "untouched";
  EXPECT_FALSE(facade_.ExecuteCommandInDC("shop", "web", "-- sync", out, err));
  EXPECT_EQ(commands_.size(), 2u);
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(err, "untouched");
  EXPECT_TRUE(Logged("Failed to execute command in pod for [shop/web-3-bbbbb]"));
}

TEST_F(DcCommandsTest, NotAllReplicasReadyRunsNothing) {
  Serve(DeploymentConfig(3, 2), MixedPods());
  std::string out;
  std::string err;
  EXPECT_FALSE(facade_.ExecuteCommandInDC("shop", "web", "-- sync", out, err));
  EXPECT_TRUE(Logged("Not all replicas ready for [shop/web]"));
  EXPECT_TRUE(commands_.empty());
  EXPECT_EQ(server_->CountRequests("GET", kPodsPath), 0u);
}

TEST_F(DcCommandsTest, MissingConfigOrPodList) {
  std::string out;
  std::string err;
  server_->Script("GET", kDcPath, wqsim::ScriptedAnswer::Json(404, "{\"kind\":\"Status\"}"));
  EXPECT_FALSE(facade_.ExecuteCommandInDC("shop", "web", "-- sync", out, err));
  EXPECT_TRUE(Logged("Failed to get Deployment Config Info for [shop/web]"));
  EXPECT_FALSE(facade_.ExecuteAnnotationCommandInDC("shop", "web", "pre", out, err));
  EXPECT_EQ(lines_.back().message, "Failed to get Deployment Config Info for [shop/web]");

  server_->ClearScripts();
  server_->Script("GET", kDcPath, wqsim::ScriptedAnswer::Json(200, DeploymentConfig(1, 1)));
  server_->Script("GET", kPodsPath, wqsim::ScriptedAnswer::Json(500, "{}"));
  EXPECT_FALSE(facade_.ExecuteCommandInDC("shop", "web", "-- sync", out, err));
  EXPECT_TRUE(Logged("Failed to get pod list for [shop]"));
  EXPECT_TRUE(commands_.empty());
}

struct AnnotationRow {
  const char* label;
  const char* annotations;
  const char* key;
  bool result;
  const char* command;  // what the pod runs, when it runs
};
void PrintTo(const AnnotationRow& row, std::ostream* os) { *os << row.label; }

class DcAnnotationTest : public DcCommandsTest,
                         public ::testing::WithParamInterface<AnnotationRow> {};

TEST_P(DcAnnotationTest, RunsTheCommandStoredInTheAnnotation) {
  Serve(DeploymentConfig(1, 1, GetParam().annotations), {{"web-1-aaaaa", "Running"}});
  std::string out;
  std::string err;
  EXPECT_EQ(facade_.ExecuteAnnotationCommandInDC("shop", "web", GetParam().key, out, err),
            GetParam().result);
  if (GetParam().result) {
    ASSERT_EQ(commands_.size(), 1u);
    EXPECT_EQ(commands_[0], kCli + std::string("web-1-aaaaa --token=\"${OCTOKEN}\"") + " -n shop " +
                                GetParam().command + "\n");
  } else {
    EXPECT_TRUE(commands_.empty());
    EXPECT_TRUE(
        Logged(std::string("Failed to get annnotation [") + GetParam().key + "] for [shop/web]"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Annotations, DcAnnotationTest,
    ::testing::Values(
        AnnotationRow{"present", "{\"pre\":\"-- sh -c 'sync; echo d'\",\"post\":\"-- x\"}", "pre",
                      true, "-- sh -c 'sync; echo d'"},
        AnnotationRow{"empty_value_runs_empty_command", "{\"pre\":\"\"}", "pre", true, ""},
        AnnotationRow{"absent", "{\"post\":\"-- x\"}", "pre", false, nullptr},
        AnnotationRow{"case_matters", "{\"Pre\":\"-- x\"}", "pre", false, nullptr}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
