// Attacks on the library through its public facade, grouped by attack: hostile namespaces
// and names at every entry point that puts them into a REST path or a command line, hostile
// hook commands, a login whose answer carries no token, mount directories that cannot be
// made or are links, and Secret bodies on their way to the log. Each group runs a table of
// cases and checks its invariants after each.
#include <filesystem>

#include "tests/testing/sandbox.h"
#include "tests/workflows/workflowTestUtil.h"

namespace wftest {
namespace {

namespace fs = std::filesystem;
using namespace OpenShiftSDKWrapper;
using wqtest::Shell;

class LibraryAttacks : public WorkflowTest {
 protected:
  void SetUp() override {
    if (!wqtest::InSandbox()) GTEST_SKIP() << "runs inside sandbox/wq-sandbox only";
    WorkflowTest::SetUp();
    WqProcess::SetRunner(wqtest::SweepRunner(
        [this](const ProcessRequest& request, std::string& out, std::string& err) {
          local_.push_back(request.command);
          return WqProcess::RunReal(request, out, err);
        }));
    fs::create_directories(scratch_.path() + "/base");
    fs::copy_file(WQ_CLI_PROGRAM, scratch_.path() + "/base/wqOpenShiftCLI");
    setenv("dBASEHOME", (scratch_.path() + "/base").c_str(), 1);  // the fixture unsets it
    const auto volumes = [](const std::string& action, const std::string& volume,
                            std::string& error) {
      return action != "create" ||
             Shell(wqtest::Env("WQSANDBOX_PROVISION") + " " + volume, &error, &error) == 0;
    };
    StartCluster(wqtest::Nodes(), volumes, wqtest::AllNodes(wqtest::PasswordLogin()));
  }
  std::vector<std::string> local_;  // local command lines run
};

// A fresh out-parameter of type T.
template <typename T>
T& O() {
  static T value;
  return value = T();
}
using S = std::string;
struct EntryPoint {
  const char* call;
  int takes;  // 1: a namespace, 2: a name, 3: both
  bool (*run)(WQOpenShiftSDKWrapper&, const S& ns, const S& n, const S& dir);
};
// clang-format off
#define E(takes, call) {#call, takes, [](WQOpenShiftSDKWrapper& f, auto& ns, auto& n, auto& dir) { \
    return (void)ns, (void)n, (void)dir, f.call; }}
const EntryPoint kEntryPoints[] = {
    E(1, GetDeploymentConfigInfoList(ns, O<std::vector<SDeploymentConfigInfoLib>>(), 0)),
    E(1, GetPersistentVolumeClaimInfoList(ns, O<std::vector<SPersistentVolumeClaimInfoLib>>(), 0)),
    E(1, GetPodInfoList(ns, O<std::vector<SPodInfoLib>>(), 0)),
    E(3, GetDeploymentConfigInfo(ns, n, O<SDeploymentConfigInfoLib>(), 0)),
    E(3, GetPodInfo(ns, n, O<SPodInfoLib>(), 0)),
    E(3, GetPersistentVolumeClaimInfo(ns, n, O<SPersistentVolumeClaimInfoLib>(), 0)),
    E(2, GetPersistentVolumeInfo(n, O<SPersistentVolumeInfoLib>(), 0)),
    E(3, GetEndpointsInfo(ns, n, O<SEndpointsInfoLib>(), 0)),
    E(1, CreateDeploymentConfig(ns, O<SDeploymentConfigInfoLib>())),
    E(3, UpdateDeploymentConfig(ns, n, O<SDeploymentConfigInfoLib>(),
                                O<SDeploymentConfigInfoLib>())),
    E(3, ScaleDeploymentConfig(ns, n, O<SScaleInfoLib>())),
    E(3, DeleteDeploymentConfig(ns, n, O<SDeleteOptionsInfoLib>())),
    E(1, CreatePersistentVolumeClaim(ns, O<SPersistentVolumeClaimInfoLib>())),
    E(3, UpdatePersistentVolumeClaim(ns, n, O<SPersistentVolumeClaimInfoLib>())),
    E(3, DeletePersistentVolumeClaim(ns, n, O<SDeleteOptionsInfoLib>())),
    E(2, UpdatePersistentVolume(n, O<SPersistentVolumeInfoLib>())),
    E(2, DeletePersistentVolume(n, O<SDeleteOptionsInfoLib>())),
    E(1, CreateEndpoints(ns, O<SEndpointsInfoLib>())),
    E(3, UpdateEndpoints(ns, n, O<SEndpointsInfoLib>())),
    E(3, DeleteEndpoints(ns, n, O<SDeleteOptionsInfoLib>())),
    E(3, CreateOrUpdateSecret(ns, n, R"({"kind":"Secret","data":{"k":"dg=="}})")),
    E(3, CreateOrUpdateConfigMap(ns, n, R"({"kind":"ConfigMap"})")),
    E(3, ExecuteCommandInDC(ns, n, "true", O<S>(), O<S>())),
    E(3, ExecuteAnnotationCommandInDC(ns, n, "pre", O<S>(), O<S>())),
    E(3, ExecuteCommandInPod(ns, n, "", "true", O<S>(), O<S>())),
    E(3, CreateSecretVolumeSnapshot(ns, n, "bk", dir)),
    E(3, SaveConfigMap(ns, n, "bk", dir)),
    E(3, CreateDeploymentSnapshot(ns, n, "bk", dir, O<std::vector<SVolumeInfoLib>>())),
};
#undef E
// clang-format on

// Nothing is requested or run for a name that would address another object, another
// collection or another namespace, or that no cluster accepts.
TEST_F(LibraryAttacks, HostileNamesReachNoRequest) {
  // clang-format off
  const S hostile[] = {"x/../../../../../../api/v1/namespaces/demo/secrets/web-secret", "..", ".",
                       "web?x=1", "web#x", "web%2F..%2Fs", "web/scale", "Web", "web;true",
                       S(254, 'a')};
  // clang-format on
  for (const EntryPoint& entry : kEntryPoints) {
    for (const S& bad : hostile) {
      for (const auto& nsAndName : {std::make_pair(bad, S("web")), std::make_pair(S(kNs), bad)}) {
        if (!(entry.takes & (nsAndName.first == bad ? 1 : 2))) continue;
        Forget();
        local_.clear();
        const bool done = entry.run(facade_, nsAndName.first, nsAndName.second, backupDir_);
        EXPECT_TRUE(!done && Sent().empty() && local_.empty()) << entry.call << " " << bad;
      }
    }
  }
}

// Hook commands: those that would create the marker on this machine if the local shell read
// more than words in them, and what the pod prints for commands as hooks are written.
TEST_F(LibraryAttacks, HookCommandsRunNothingOnTheHost) {
  const S file = scratch_.path() + "/marker";
  // clang-format off
  const std::pair<S, const char*> rows[] = {
      {"true; touch " + file, nullptr}, {"$(touch " + file + ")", nullptr},
      {"`touch " + file + "`", nullptr}, {"true && touch " + file, nullptr},
      {"\"$(touch " + file + ")\"", nullptr}, {"printf %s. a b", "a.b."},
      {"-- printf '%s|' 'x; y' \"q\\\"z\" e\\&f", "x; y|q\"z|e&f|"}};
  // clang-format on
  const S dcPath = "/oapi/v1/namespaces/demo/deploymentconfigs/web";
  for (const bool annotation : {false, true}) {
    for (const auto& row : rows) {
      local_.clear();
      S out, err;
      boost::json::object dc = GetObject(dcPath);
      dc["metadata"].as_object()["annotations"] = boost::json::object{{"pre", row.first}};
      EXPECT_EQ(200, Send("PUT", dcPath, boost::json::serialize(dc)));
      EXPECT_EQ(row.second != nullptr,
                annotation ? facade_.ExecuteAnnotationCommandInDC(kNs, "web", "pre", out, err)
                           : facade_.ExecuteCommandInDC(kNs, "web", row.first, out, err));
      EXPECT_TRUE(!fs::exists(file) &&
                  (row.second ? out.find(S(":") + row.second + "\n") != S::npos : local_.empty()))
          << row.first << out;
    }
  }
}

TEST_F(LibraryAttacks, LoginWithoutTokenFails) {
  for (const int status : {200, 302}) {
    simulator_->Server().ClearScripts();
    simulator_->Server().Script("GET", "/oauth/authorize",
                                wqsim::ScriptedAnswer::NoBody(status).WithHeader(
                                    "Location", "/oauth/token/implicit#error=access_denied"));
    EXPECT_FALSE(WQOpenShiftSDKWrapper().Connect(simulator_->BaseUrl(), "u", "p", Credentials()));
  }
}

// A mount directory that cannot be made, or is a link, leaves no snapshot and mounts nothing
// elsewhere; a snapshot is mounted read-only, without set-user-ID programs or devices.
TEST_F(LibraryAttacks, MountDirectoryFailuresLeaveNoSnapshot) {
  const S node = wqtest::Nodes()[0], elsewhere = scratch_.path() + "/elsewhere";
  fs::create_directories(elsewhere);
  int n = 0;
  for (const S& plant : {S("echo > $D"), S("mkdir $D && echo > $D/web-data"),
                         "mkdir $D && ln -s " + elsewhere + " $D/web-data"}) {
    const S dir = scratch_.path() + "/backup" + std::to_string(++n);
    ASSERT_EQ(0, Shell("D=" + dir + "; " + plant));
    std::vector<S> snapshots;
    EXPECT_FALSE(facade_.CreatePVCSnapshot(kNs, "web-data", "bk", dir, O<SVolumeInfoLib>())) << n;
    EXPECT_TRUE(facade_.GetGlusterVolumeSnapshotList(node, GlusterVolumeOf("web-data"), snapshots));
    EXPECT_TRUE(snapshots.empty() && fs::is_empty(elsewhere)) << plant;
  }
  // Nor is anything unmounted through a link.
  SVolumeInfoLib& record = O<SVolumeInfoLib>();
  record.glusterfs.path = scratch_.path() + "/backup3/web-data";
  ASSERT_EQ(0, Shell("mount -t tmpfs wqlink " + elsewhere));
  EXPECT_TRUE(!facade_.UnmountVolume(kNs, record) && Shell("umount " + elsewhere) == 0);
  local_.clear();
  ASSERT_TRUE(facade_.CreatePVCSnapshot(kNs, "web-data", "bk", backupDir_, record));
  EXPECT_EQ(0u, local_.back().rfind("mount -t glusterfs -o ro,nosuid,nodev ", 0)) << local_.back();
  EXPECT_TRUE(facade_.UnmountVolume(kNs, record) && facade_.DeleteVolumeSnapshot(kNs, record));
}

// Secret writes that succeed, fail or come back truncated, and Secret reads: no log line
// shows a value of the written Secret ("campaign-data-secret" in base64, a plain value) or
// of the scenario's own.
TEST_F(LibraryAttacks, SecretDataNeverReachesTheLog) {
  const S shown[] = {"Y2FtcGFpZ24tZGF0YS1zZWNyZXQ=", "campaign-plain", "czNjcjN0"};
  const S body = R"({"kind":"Secret","apiVersion":"v1","metadata":{"name":"s2"},"data":{"t":")" +
                 shown[0] + R"("},"stringData":{"p":")" + shown[1] + R"("}})";
  const S secrets = "/api/v1/namespaces/demo/secrets";
  fs::create_directories(backupDir_);
  for (int fault = 0; fault < 5; ++fault) {
    if (fault == 2) simulator_->InjectStatus("PUT", secrets + "/s2", 500);
    if (fault == 3) simulator_->InjectTruncatedBody("GET", secrets + "/web-secret");
    if (fault == 4) Send("DELETE", secrets + "/s2"), simulator_->InjectStatus("POST", secrets, 500);
    facade_.CreateOrUpdateSecret(kNs, "s2", body);
    facade_.CreateSecretVolumeSnapshot(kNs, "web-secret", "bk", backupDir_);
    for (const LogLine& line : lines_) {
      for (const S& secret : shown) EXPECT_EQ(line.message.find(secret), S::npos) << line.message;
    }
    Forget();
  }
}

}  // namespace
}  // namespace wftest
