// Attacks on the library through its public facade, grouped by attack: hostile namespaces
// and names at every entry point that puts them into a REST path, hostile hook commands,
// a login whose answer carries no token, a mount directory that cannot be made or is a
// link, and Secret bodies on their way to the log. Each group runs a table of cases and
// checks one set of invariants after each.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "tests/ssh/sandboxTestUtil.h"
#include "tests/workflows/workflowTestUtil.h"

namespace wftest {
namespace {

namespace fs = std::filesystem;
using namespace OpenShiftSDKWrapper;
using sandboxtest::Env;
using sandboxtest::Shell;

std::vector<std::string> MountPointsBelow(const std::string& directory) {
  std::vector<std::string> points;
  std::ifstream in("/proc/self/mountinfo");
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string id, parent, device, root, point;
    fields >> id >> parent >> device >> root >> point;
    if (point == directory || point.compare(0, directory.size() + 1, directory + "/") == 0) {
      points.push_back(point);
    }
  }
  return points;
}

class LibraryAttacks : public WorkflowTest {
 protected:
  void SetUp() override {
    if (!sandboxtest::InSandbox()) GTEST_SKIP() << "runs inside sandbox/wq-sandbox only";
    WorkflowTest::SetUp();
    WqProcess::SetRunner([this](const ProcessRequest& request, std::string& out, std::string& err) {
      local_.push_back(request.command);
      return WqProcess::RunReal(request, out, err);
    });
    base_ = scratch_.path() + "/base";
    fs::create_directories(base_);
    fs::copy_file(WQ_CLI_PROGRAM, base_ + "/wqOpenShiftCLI");
    baseEnv_.reset(new hosttest::ScopedEnv("dBASEHOME", base_.c_str()));
  }

  void TearDown() override {
    if (sandboxtest::InSandbox()) {
      std::vector<std::string> points = MountPointsBelow(scratch_.path());
      for (auto point = points.rbegin(); point != points.rend(); ++point) {
        Shell("umount -l \"" + *point + "\"");
      }
    }
    WorkflowTest::TearDown();
  }

  void StartWithNodes() {
    StartCluster(sandboxtest::Nodes(), SandboxVolumes(),
                 sandboxtest::AllNodes(sandboxtest::PasswordLogin()));
  }

  static wqsim::StorageHook SandboxVolumes() {
    return [](const std::string& action, const std::string& volume, std::string& error) {
      const std::string command =
          action == "create" ? Env("WQSANDBOX_PROVISION") + " " + volume
                             : "gluster --mode=script volume stop " + volume +
                                   " force && gluster --mode=script volume delete " + volume;
      std::string out;
      const int rc = Shell(command, &out, &error);
      error += out;
      return rc == 0;
    };
  }

  // Every log line, rendered, that holds `text`.
  std::vector<std::string> LinesHolding(const std::string& text) const {
    std::vector<std::string> found;
    for (const LogLine& line : lines_) {
      if (line.message.find(text) != std::string::npos) found.push_back(line.message);
    }
    return found;
  }

  std::string base_;
  std::unique_ptr<hosttest::ScopedEnv> baseEnv_;
  std::vector<std::string> local_;
};

// ---- Hostile namespaces and names ---------------------------------------------------------

struct EntryPoint {
  const char* name;
  bool takesNamespace;
  bool takesName;
  std::function<bool(WQOpenShiftSDKWrapper&, const std::string& ns, const std::string& name,
                     const std::string& dir)>
      call;
};

std::vector<EntryPoint> EntryPoints() {
  using F = WQOpenShiftSDKWrapper;
  const std::string secret =
      R"({"kind":"Secret","apiVersion":"v1","metadata":{"name":"s1"},"data":{"k":"dg=="}})";
  const std::string configMap =
      R"({"kind":"ConfigMap","apiVersion":"v1","metadata":{"name":"c1"},"data":{"k":"v"}})";
  auto dc = [] {
    SDeploymentConfigInfoLib record;
    record.kind = "DeploymentConfig";
    record.apiVersion = "v1";
    record.metadata.name = "web";
    return record;
  };
  return {
      {"GetDeploymentConfigInfoList", true, false,
       [](F& f, auto& ns, auto&, auto&) {
         std::vector<SDeploymentConfigInfoLib> out;
         return f.GetDeploymentConfigInfoList(ns, out, 0);
       }},
      {"GetPersistentVolumeClaimInfoList", true, false,
       [](F& f, auto& ns, auto&, auto&) {
         std::vector<SPersistentVolumeClaimInfoLib> out;
         return f.GetPersistentVolumeClaimInfoList(ns, out, 0);
       }},
      {"GetPodInfoList", true, false,
       [](F& f, auto& ns, auto&, auto&) {
         std::vector<SPodInfoLib> out;
         return f.GetPodInfoList(ns, out, 0);
       }},
      {"GetDeploymentConfigInfo", true, true,
       [](F& f, auto& ns, auto& name, auto&) {
         SDeploymentConfigInfoLib out;
         return f.GetDeploymentConfigInfo(ns, name, out, 0);
       }},
      {"GetPodInfo", true, true,
       [](F& f, auto& ns, auto& name, auto&) {
         SPodInfoLib out;
         return f.GetPodInfo(ns, name, out, 0);
       }},
      {"GetPersistentVolumeClaimInfo", true, true,
       [](F& f, auto& ns, auto& name, auto&) {
         SPersistentVolumeClaimInfoLib out;
         return f.GetPersistentVolumeClaimInfo(ns, name, out, 0);
       }},
      {"GetPersistentVolumeInfo", false, true,
       [](F& f, auto&, auto& name, auto&) {
         SPersistentVolumeInfoLib out;
         return f.GetPersistentVolumeInfo(name, out, 0);
       }},
      {"GetEndpointsInfo", true, true,
       [](F& f, auto& ns, auto& name, auto&) {
         SEndpointsInfoLib out;
         return f.GetEndpointsInfo(ns, name, out, 0);
       }},
      {"CreateDeploymentConfig", true, false,
       [dc](F& f, auto& ns, auto&, auto&) {
         SDeploymentConfigInfoLib record = dc();
         return f.CreateDeploymentConfig(ns, record);
       }},
      {"UpdateDeploymentConfig", true, true,
       [dc](F& f, auto& ns, auto& name, auto&) {
         SDeploymentConfigInfoLib record = dc();
         SDeploymentConfigInfoLib current = dc();
         return f.UpdateDeploymentConfig(ns, name, record, current);
       }},
      {"ScaleDeploymentConfig", true, true,
       [](F& f, auto& ns, auto& name, auto&) {
         SScaleInfoLib scale;
         scale.spec.replicas = 0;
         return f.ScaleDeploymentConfig(ns, name, scale);
       }},
      {"DeleteDeploymentConfig", true, true,
       [](F& f, auto& ns, auto& name, auto&) {
         SDeleteOptionsInfoLib options;
         return f.DeleteDeploymentConfig(ns, name, options);
       }},
      {"CreatePersistentVolumeClaim", true, false,
       [](F& f, auto& ns, auto&, auto&) {
         SPersistentVolumeClaimInfoLib claim;
         claim.metadata.name = "c1";
         return f.CreatePersistentVolumeClaim(ns, claim);
       }},
      {"UpdatePersistentVolumeClaim", true, true,
       [](F& f, auto& ns, auto& name, auto&) {
         SPersistentVolumeClaimInfoLib claim;
         claim.metadata.name = "web-data";
         return f.UpdatePersistentVolumeClaim(ns, name, claim);
       }},
      {"DeletePersistentVolumeClaim", true, true,
       [](F& f, auto& ns, auto& name, auto&) {
         SDeleteOptionsInfoLib options;
         return f.DeletePersistentVolumeClaim(ns, name, options);
       }},
      {"UpdatePersistentVolume", false, true,
       [](F& f, auto&, auto& name, auto&) {
         SPersistentVolumeInfoLib volume;
         volume.metadata.name = "pv1";
         return f.UpdatePersistentVolume(name, volume);
       }},
      {"DeletePersistentVolume", false, true,
       [](F& f, auto&, auto& name, auto&) {
         SDeleteOptionsInfoLib options;
         return f.DeletePersistentVolume(name, options);
       }},
      {"CreateEndpoints", true, false,
       [](F& f, auto& ns, auto&, auto&) {
         SEndpointsInfoLib endpoints;
         endpoints.metadata.name = "e1";
         return f.CreateEndpoints(ns, endpoints);
       }},
      {"UpdateEndpoints", true, true,
       [](F& f, auto& ns, auto& name, auto&) {
         SEndpointsInfoLib endpoints;
         endpoints.metadata.name = "e1";
         return f.UpdateEndpoints(ns, name, endpoints);
       }},
      {"DeleteEndpoints", true, true,
       [](F& f, auto& ns, auto& name, auto&) {
         SDeleteOptionsInfoLib options;
         return f.DeleteEndpoints(ns, name, options);
       }},
      {"CreateOrUpdateSecret", true, true,
       [secret](F& f, auto& ns, auto& name, auto&) {
         return f.CreateOrUpdateSecret(ns, name, secret);
       }},
      {"CreateOrUpdateConfigMap", true, true,
       [configMap](F& f, auto& ns, auto& name, auto&) {
         return f.CreateOrUpdateConfigMap(ns, name, configMap);
       }},
      {"ExecuteCommandInDC", true, true,
       [](F& f, auto& ns, auto& name, auto&) {
         std::string out, err;
         return f.ExecuteCommandInDC(ns, name, "true", out, err);
       }},
      {"ExecuteAnnotationCommandInDC", true, true,
       [](F& f, auto& ns, auto& name, auto&) {
         std::string out, err;
         return f.ExecuteAnnotationCommandInDC(ns, name, "pre", out, err);
       }},
      {"CreateSecretVolumeSnapshot", true, true,
       [](F& f, auto& ns, auto& name, auto& dir) {
         return f.CreateSecretVolumeSnapshot(ns, name, "bk", dir);
       }},
      {"SaveConfigMap", true, true,
       [](F& f, auto& ns, auto& name, auto& dir) { return f.SaveConfigMap(ns, name, "bk", dir); }},
      {"CreateDeploymentSnapshot", true, true,
       [](F& f, auto& ns, auto& name, auto& dir) {
         std::vector<SVolumeInfoLib> records;
         return f.CreateDeploymentSnapshot(ns, name, "bk", dir, records);
       }},
  };
}

// Names that would address another object, another collection or another namespace, or
// that no cluster accepts.
const char* const kHostileNames[] = {
    "x/../../../../../../api/v1/namespaces/demo/secrets/web-secret",
    "..",
    ".",
    "web?x=1",
    "web#x",
    "web%2F..%2Fweb-secret",
    "web/scale",
    "Web",
    "web data",
    "web\n",
};

TEST_F(LibraryAttacks, HostileNamesReachNoRequest) {
  StartCluster({"127.0.0.1"}, nullptr, Credentials());
  const std::string before = Get("/api/v1/namespaces/demo/secrets/web-secret");
  const std::string dcBefore = Get("/oapi/v1/namespaces/demo/deploymentconfigs/web");
  ASSERT_FALSE(before.empty());
  std::vector<std::string> hostile(std::begin(kHostileNames), std::end(kHostileNames));
  hostile.push_back(std::string(254, 'a'));
  const std::string dir = scratch_.path() + "/out";
  for (const EntryPoint& entry : EntryPoints()) {
    std::vector<std::pair<std::string, std::string>> cases;
    for (const std::string& bad : hostile) {
      if (entry.takesNamespace) cases.emplace_back(bad, "web");
      if (entry.takesName) cases.emplace_back(kNs, bad);
    }
    if (entry.takesName) cases.emplace_back(kNs, "");
    for (const auto& nsAndName : cases) {
      Forget();
      local_.clear();
      const bool result = entry.call(facade_, nsAndName.first, nsAndName.second, dir);
      const std::string label =
          std::string(entry.name) + "(" + nsAndName.first + ", " + nsAndName.second + ")";
      EXPECT_FALSE(result) << label;
      EXPECT_TRUE(Sent().empty()) << label << ": " << Sent().front();
      EXPECT_TRUE(local_.empty()) << label;
    }
  }
  // Nothing was deleted or changed.
  EXPECT_EQ(before, Get("/api/v1/namespaces/demo/secrets/web-secret"));
  EXPECT_EQ(dcBefore, Get("/oapi/v1/namespaces/demo/deploymentconfigs/web"));
}

// ---- Hostile hook commands ----------------------------------------------------------------

TEST_F(LibraryAttacks, HookCommandsRunNothingOnTheHost) {
  StartCluster({"127.0.0.1"}, nullptr, Credentials());
  const std::string marker = scratch_.path() + "/marker";
  // Hostile commands, each of which would create the marker on this machine if the local
  // shell read it as more than words.
  const std::vector<std::string> hostile = {
      "true; touch " + marker,  "$(touch " + marker + ")",
      "`touch " + marker + "`", "\"$(touch " + marker + ")\"",
      "true | touch " + marker, "true && touch " + marker,
      "true & touch " + marker, "true > " + marker,
      "true\ntouch " + marker,  "true 'unbalanced; touch " + marker,
      "(touch " + marker + ")",
  };
  // Commands as hook annotations normally are, and what the pod prints for them.
  const std::vector<std::pair<std::string, std::string>> normal = {
      {"printf %s. a b", "a.b."},
      {"-- printf '%s|' 'x y' \"q\\\"z\"", "x y|q\"z|"},
      {"printf %s 'a;b' \"c|d\" e\\&f", "a;bc|de&f"},
  };
  const std::string dcPath = "/oapi/v1/namespaces/demo/deploymentconfigs/web";
  for (const bool annotation : {false, true}) {
    auto run = [&](const std::string& command, std::string& out) {
      std::string err;
      if (!annotation) return facade_.ExecuteCommandInDC(kNs, "web", command, out, err);
      boost::json::object dc = GetObject(dcPath);
      dc["metadata"].as_object()["annotations"] = boost::json::object{{"pre", command}};
      EXPECT_EQ(200, Send("PUT", dcPath, boost::json::serialize(dc)));
      return facade_.ExecuteAnnotationCommandInDC(kNs, "web", "pre", out, err);
    };
    for (const std::string& command : hostile) {
      local_.clear();
      std::string out;
      EXPECT_FALSE(run(command, out)) << command;
      EXPECT_FALSE(fs::exists(marker)) << command;
      EXPECT_TRUE(local_.empty()) << command << ": " << local_.front();
      fs::remove(marker);
    }
    for (const auto& row : normal) {
      std::string out;
      EXPECT_TRUE(run(row.first, out)) << row.first;
      EXPECT_NE(std::string::npos, out.find(":" + row.second + "\n")) << row.first << ": " << out;
    }
  }
}

// ---- A login without a token --------------------------------------------------------------

TEST_F(LibraryAttacks, LoginWithoutTokenFails) {
  StartCluster({"127.0.0.1"}, nullptr, Credentials());
  const std::vector<wqsim::ScriptedAnswer> answers = {
      wqsim::ScriptedAnswer::NoBody(200),
      wqsim::ScriptedAnswer::NoBody(302).WithHeader(
          "Location", simulator_->BaseUrl() + "/oauth/token/implicit#error=access_denied"),
      wqsim::ScriptedAnswer::NoBody(302).WithHeader("Location", simulator_->BaseUrl()),
  };
  for (const wqsim::ScriptedAnswer& answer : answers) {
    simulator_->Server().ClearScripts();
    simulator_->Server().Script("GET", "/oauth/authorize", answer);
    WQOpenShiftSDKWrapper facade;
    EXPECT_FALSE(facade.Connect(simulator_->BaseUrl(), "backup", "password", Credentials()));
  }
}

// ---- Mount directories ----------------------------------------------------------------------

TEST_F(LibraryAttacks, MountDirectoryFailuresLeaveNoSnapshot) {
  StartWithNodes();
  const std::string volume = GlusterVolumeOf("web-data");
  const std::string elsewhere = scratch_.path() + "/elsewhere";
  fs::create_directories(elsewhere);
  struct Case {
    const char* name;
    std::function<void(const std::string& backup)> plant;
  };
  const std::vector<Case> cases = {
      {"backup directory is a file",
       [](const std::string& backup) { std::ofstream(backup) << "x"; }},
      {"mount directory is a file",
       [](const std::string& backup) {
         fs::create_directories(backup);
         std::ofstream(backup + "/web-data") << "x";
       }},
      {"mount directory is a link to a directory",
       [&](const std::string& backup) {
         fs::create_directories(backup);
         fs::create_directory_symlink(elsewhere, backup + "/web-data");
       }},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string backup = scratch_.path() + "/backup" + std::to_string(++n);
    c.plant(backup);
    local_.clear();
    SVolumeInfoLib record;
    EXPECT_FALSE(facade_.CreatePVCSnapshot(kNs, "web-data", "bk", backup, record)) << c.name;
    std::vector<std::string> snapshots;
    EXPECT_TRUE(facade_.GetGlusterVolumeSnapshotList(sandboxtest::Nodes()[0], volume, snapshots));
    EXPECT_TRUE(snapshots.empty()) << c.name << ": " << snapshots.front();
    EXPECT_TRUE(MountPointsBelow(scratch_.path()).empty()) << c.name;
    EXPECT_TRUE(fs::is_empty(elsewhere)) << c.name;
    for (const std::string& snapshot : snapshots) {
      facade_.DeactivateGlusterVolumeSnapshot(sandboxtest::Nodes()[0], snapshot);
      facade_.DeleteGlusterVolumeSnapshot(sandboxtest::Nodes()[0], snapshot);
    }
  }
  // A snapshot that is mounted is mounted read-only, without set-user-ID programs or devices.
  local_.clear();
  SVolumeInfoLib record;
  ASSERT_TRUE(facade_.CreatePVCSnapshot(kNs, "web-data", "bk", backupDir_, record));
  size_t mounts = 0;
  for (const std::string& command : local_) {
    if (command.compare(0, 6, "mount ") != 0) continue;
    ++mounts;
    EXPECT_NE(std::string::npos, command.find(" -o ro,nosuid,nodev ")) << command;
  }
  EXPECT_EQ(1u, mounts);
  EXPECT_TRUE(facade_.UnmountVolume(kNs, record));
  EXPECT_TRUE(facade_.DeleteVolumeSnapshot(kNs, record));
}

// ---- Secrets on their way to the log -------------------------------------------------------

TEST_F(LibraryAttacks, SecretDataNeverReachesTheLog) {
  StartCluster({"127.0.0.1"}, nullptr, Credentials());
  // Base64 of "campaign-data-secret", a plain string value, and an annotation repeating both.
  const std::string data = "Y2FtcGFpZ24tZGF0YS1zZWNyZXQ=";
  const std::string plain = "campaign-plain-secret";
  const std::string applied = "campaign-applied-secret";
  const std::string body =
      R"({"kind":"Secret","apiVersion":"v1","metadata":{"name":"s2","annotations":{"kubectl.kubernetes.io/last-applied-configuration":")" +
      applied + R"("}},"type":"Opaque","data":{"token":")" + data +
      R"("},"stringData":{"plain":")" + plain + R"("}})";
  const std::string collection = "/api/v1/namespaces/demo/secrets";
  struct Case {
    const char* name;
    std::function<void()> fault;
  };
  const std::vector<Case> cases = {
      {"create", [] {}},
      {"update", [] {}},
      {"update refused", [&] { simulator_->InjectStatus("PUT", collection + "/s2", 500); }},
      {"update answer truncated",
       [&] { simulator_->InjectTruncatedBody("PUT", collection + "/s2"); }},
      {"read answer not JSON", [&] { simulator_->InjectTruncatedBody("GET", collection + "/s2"); }},
      {"create refused",
       [&] {
         Send("DELETE", collection + "/s2");
         simulator_->InjectStatus("POST", collection, 500);
       }},
  };
  fs::create_directories(backupDir_);
  for (const Case& c : cases) {
    c.fault();
    facade_.CreateOrUpdateSecret(kNs, "s2", body);
    facade_.CreateSecretVolumeSnapshot(kNs, "s2", "bk", backupDir_);
    facade_.CreateSecretVolumeSnapshot(kNs, "web-secret", "bk", backupDir_);
    for (const std::string& secret : {data, plain, applied, std::string("czNjcjN0")}) {
      const std::vector<std::string> leaked = LinesHolding(secret);
      EXPECT_TRUE(leaked.empty()) << c.name << ": " << leaked.front();
    }
    Forget();
  }
}

}  // namespace
}  // namespace wftest
