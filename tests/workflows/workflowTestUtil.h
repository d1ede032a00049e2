#pragma once
// Fixture of the backup and restore workflow tests: a simulated cluster holding a small
// application (deployment config "web" in project "demo" with the GlusterFS claims
// "web-data" and "web-logs" (the latter naming its class in the older annotation), secret
// "web-secret" and config map "web-config", used through the environment and as volumes), a facade
// logged in to it, the log captured and sleeping replaced by a recorder. Derived fixtures choose
// the storage nodes, the storage hook and the SSH credentials: none (unit tests), or the sandbox's
// nodes and live volumes.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/debugLog.h"
#include "host/process.h"
#include "simulator/cluster/clusterSimulator.h"
#include "tests/testing/sandbox.h"
#include "tests/testing/testSupport.h"
#include "wrapper/logContexts.h"
#include "wrapper/openshiftWrapper.h"

namespace wftest {

using OpenShiftSDKWrapper::LogLine;
using OpenShiftSDKWrapper::SVolumeInfoLib;
using std::filesystem::exists;
using wqtest::Credentials;

const char* const kToken = "workflow-test-token-0123456789abcdefghijkl";
const char* const kNs = "demo";

const char* const kPvcContext = OpenShiftSDKWrapper::WrapperContexts::kCreatePVCSnapshot;
const char* const kVolumeContext = OpenShiftSDKWrapper::WrapperContexts::kCreateVolumeSnapshot;
const char* const kDeploymentContext =
    OpenShiftSDKWrapper::WrapperContexts::kCreateDeploymentSnapshot;
const char* const kPrepareContext = OpenShiftSDKWrapper::WrapperContexts::kPrepareVolume;
const char* const kRestoreContext = OpenShiftSDKWrapper::WrapperContexts::kRestoreDeployment;
const char* const kSecretsContext = OpenShiftSDKWrapper::WrapperContexts::kRestoreSecrets;
const char* const kConfigMapContext = OpenShiftSDKWrapper::WrapperContexts::kSaveConfigMap;
const char* const kUnmountContext = OpenShiftSDKWrapper::WrapperContexts::kUnmountVolume;
const char* const kDeleteContext = OpenShiftSDKWrapper::WrapperContexts::kDeleteVolumeSnapshot;

// The application as scenario objects; `extra` is spliced in as further members.
inline std::string AppScenarioText(const std::string& extra = std::string()) {
  return std::string(R"({"serviceAccountTokens": [")") + kToken + R"("],
    "projects": ["demo"],
    "storageClasses": [{"metadata": {"name": "glusterfs-storage"},
                        "provisioner": "kubernetes.io/glusterfs", "reclaimPolicy": "Delete"}],
    "secrets": [{"metadata": {"name": "web-secret", "namespace": "demo"},
                 "data": {"password": "czNjcjN0"}, "type": "Opaque"}],
    "configMaps": [{"metadata": {"name": "web-config", "namespace": "demo"},
                    "data": {"LOG_LEVEL": "info", "web.conf": "listen 8080\n"}}],
    "persistentVolumeClaims": [
      {"metadata": {"name": "web-data", "namespace": "demo"},
       "spec": {"accessModes": ["ReadWriteOnce"], "resources": {"requests": {"storage": "2Gi"}},
                "storageClassName": "glusterfs-storage"}},
      {"metadata": {"name": "web-logs", "namespace": "demo",
                    "annotations": {"volume.beta.kubernetes.io/storage-class": "glusterfs-storage"}},
       "spec": {"accessModes": ["ReadWriteMany"], "resources": {"requests": {"storage": "1Gi"}}}}],
    "deploymentConfigs": [{
      "metadata": {"name": "web", "namespace": "demo", "labels": {"app": "web"}},
      "spec": {"replicas": 1, "selector": {"app": "web"},
        "template": {"metadata": {"labels": {"app": "web"}}, "spec": {
          "volumes": [
            {"name": "data", "persistentVolumeClaim": {"claimName": "web-data"}},
            {"name": "logs", "persistentVolumeClaim": {"claimName": "web-logs"}},
            {"name": "secret", "secret": {"secretName": "web-secret"}},
            {"name": "config", "configMap": {"name": "web-config"}}],
          "containers": [{"name": "web", "image": "nginx:1.14",
            "env": [{"name": "PLAIN", "value": "1"},
                    {"name": "PASSWORD", "valueFrom": {"secretKeyRef": {"name": "web-secret", "key": "password"}}},
                    {"name": "LOG_LEVEL", "valueFrom": {"configMapKeyRef": {"name": "web-config", "key": "LOG_LEVEL"}}}],
            "volumeMounts": [{"name": "data", "mountPath": "/var/www"}]}]}}}}])" +
         extra + "}";
}

inline boost::json::object Parsed(const std::string& text) {
  boost::json::error_code code;
  boost::json::value value = boost::json::parse(text, code);
  return !code && value.is_object() ? value.get_object() : boost::json::object();
}

// The member at a '/'-separated path of object members, as a JSON value (null when absent).
inline boost::json::value At(const boost::json::object& object, const std::string& path) {
  const boost::json::value* current = nullptr;
  const boost::json::object* scope = &object;
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    current = scope != nullptr ? scope->if_contains(path.substr(start, slash - start)) : nullptr;
    if (current == nullptr) return nullptr;
    if (slash == std::string::npos) return *current;
    scope = current->if_object();
    start = slash + 1;
  }
}

// The text of a string value; empty for any other value.
inline std::string Text(const boost::json::value& value) {
  return value.is_string() ? std::string(value.get_string().c_str()) : std::string();
}

// A member a writer may add when it restores a definition: a default value that says nothing
// the saved definition did not say.
inline bool IsDefault(const boost::json::value& value) {
  if (value.is_bool()) return !value.get_bool();
  if (value.is_int64()) return value.get_int64() == 0;
  if (value.is_string()) return value.get_string().empty();
  if (value.is_array()) return value.get_array().empty();
  if (value.is_object()) {
    for (const auto& member : value.get_object()) {
      if (!IsDefault(member.value())) return false;
    }
    return true;
  }
  return value.is_null();
}

// True when `restored` says what `saved` says: every saved member is there with the same
// meaning (arrays element by element), and what else is there is default. Sets `where` to
// the first path that differs.
inline bool SameDefinition(const boost::json::value& saved, const boost::json::value& restored,
                           std::string& where, const std::string& path = "") {
  if (saved.is_object() && restored.is_object()) {
    for (const auto& member : saved.get_object()) {
      const boost::json::value* other = restored.get_object().if_contains(member.key());
      const std::string inner = path + "/" + std::string(member.key());
      if (other == nullptr ? !IsDefault(member.value())
                           : !SameDefinition(member.value(), *other, where, inner)) {
        if (where.empty()) where = inner;
        return false;
      }
    }
    for (const auto& member : restored.get_object()) {
      if (!saved.get_object().contains(member.key()) && !IsDefault(member.value())) {
        where = path + "/" + std::string(member.key());
        return false;
      }
    }
    return true;
  }
  if (saved.is_array() && restored.is_array()) {
    if (saved.get_array().size() != restored.get_array().size()) {
      where = path;
      return false;
    }
    for (size_t i = 0; i < saved.get_array().size(); ++i) {
      if (!SameDefinition(saved.get_array()[i], restored.get_array()[i], where,
                          path + "/" + std::to_string(i))) {
        return false;
      }
    }
    return true;
  }
  if (saved == restored) return true;
  where = path;
  return false;
}

// A saved volume record as a backup returns it, with what PrepareVolume reads of it.
inline SVolumeInfoLib SavedRecord(const std::string& name, const std::string& capacity,
                                  const std::string& accessMode = "ReadWriteOnce") {
  SVolumeInfoLib saved;
  saved.name = name;
  saved.capacity = capacity;
  saved.storageClassName = "glusterfs-storage";
  saved.accessModes = {accessMode};
  return saved;
}

using wqtest::Sleep;

// Gives each claim a real GlusterFS volume of the sandbox under the simulator's name, and
// deletes it with its claim; while `*fake` is true, claims get no volume.
inline wqsim::StorageHook LiveVolumes(const bool* fake = nullptr) {
  return [fake](const std::string& action, const std::string& volume, std::string& error) {
    if (fake != nullptr && *fake) return true;
    const std::string gluster = "gluster --mode=script volume ";
    std::string out;
    const bool done =
        wqtest::Shell(action == "create" ? wqtest::Env("WQSANDBOX_PROVISION") + " " + volume
                                         : gluster + "stop " + volume + " force && " + gluster +
                                               "delete " + volume,
                      &out, &error) == 0;
    error += out;
    return done;
  };
}

class WorkflowTest : public ::testing::Test,
                     public wqtest::LogCapture,
                     public wqtest::SleepRecorder {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.path().empty());
    backupDir_ = scratch_.path() + "/backup";
    mountBase_ = scratch_.path() + "/restore";
  }

  void TearDown() override {
    OpenShiftSDKWrapper::WqProcess::SetRunner(wqtest::SweepRunner(nullptr));
    // A derived fixture's own sink goes before its members do.
    OpenShiftSDKWrapper::DebugLog::SetSink(wqtest::SweepSink(nullptr));
  }

  // Starts the cluster with the application (and `extra` scenario members) and logs the
  // facade in with `credentials`; forgets the log lines and requests of the start.
  void StartCluster(const std::vector<std::string>& nodes, wqsim::StorageHook hook,
                    const Credentials& credentials, const std::string& extra = std::string()) {
    wqsim::Scenario scenario;
    std::string error;
    ASSERT_TRUE(wqsim::ParseScenario(AppScenarioText(extra), scenario, error)) << error;
    scenario.settings.storageNodes = nodes;
    scenario.settings.storageHook = std::move(hook);
    simulator_.reset(new wqsim::ClusterSimulator(scenario));
    ASSERT_TRUE(simulator_->Start(error)) << error;
    const std::string trust = scratch_.path() + "/trust.pem";
    ASSERT_TRUE(simulator_->Server().WriteTrustPem(trust));
    caFile_.reset(new wqtest::ScopedEnv("WQOSDK_CA_FILE", trust.c_str()));
    ASSERT_TRUE(
        facade_.ConnectServiceAccount(simulator_->BaseUrl(), "backup", kToken, credentials));
    Forget();
  }

  void Forget() {
    lines_.clear();
    sleeps_.clear();
    simulator_->Server().ClearRequests();
  }

  // The body of a GET served by the cluster itself (not counted as the facade's request).
  std::string Get(const std::string& path) {
    wqsim::ApiAnswer answer;
    EXPECT_TRUE(simulator_->Api().Serve({"GET", path, "", false}, answer)) << path;
    return answer.status == 200 ? answer.body : std::string();
  }
  boost::json::object GetObject(const std::string& path) { return Parsed(Get(path)); }
  int Send(const std::string& method, const std::string& path, const std::string& body = "") {
    wqsim::ApiAnswer answer;
    EXPECT_TRUE(simulator_->Api().Serve({method, path, body, false}, answer)) << path;
    return answer.status;
  }
  std::string ClaimPath(const std::string& claim) const {
    return std::string("/api/v1/namespaces/demo/persistentvolumeclaims/") + claim;
  }
  // The GlusterFS volume behind a claim.
  std::string GlusterVolumeOf(const std::string& claim) {
    const std::string pv = Text(At(GetObject(ClaimPath(claim)), "spec/volumeName"));
    return Text(At(GetObject("/api/v1/persistentvolumes/" + pv), "spec/glusterfs/path"));
  }

  // "METHOD path" of every request the facade sent.
  std::vector<std::string> Sent() const {
    std::vector<std::string> sent;
    for (const wqsim::RecordedRequest& request : simulator_->Server().Requests()) {
      sent.push_back(request.method + " " + request.path);
    }
    return sent;
  }
  size_t Count(const std::string& method, const std::string& pathPart) const {
    size_t count = 0;
    for (const std::string& request : Sent()) {
      if (request.compare(0, method.size() + 1, method + " ") == 0 &&
          request.find(pathPart) != std::string::npos) {
        ++count;
      }
    }
    return count;
  }

  // The body of the first request of `method` whose path holds `pathPart`, parsed.
  boost::json::object FirstBody(const std::string& method, const std::string& pathPart) const {
    for (const wqsim::RecordedRequest& request : simulator_->Server().Requests()) {
      if (request.method == method && request.path.find(pathPart) != std::string::npos) {
        return Parsed(request.body);
      }
    }
    ADD_FAILURE() << "no " << method << " of " << pathPart;
    return boost::json::object();
  }

  bool Logged(const std::string& context, const std::string& levelAndMessage) const {
    for (const std::string& line : LinesOf(context)) {
      if (line == levelAndMessage) return true;
    }
    return false;
  }
  std::string Backup(const std::string& name) const { return backupDir_ + "/" + name; }

  wqtest::TempDir scratch_;
  wqtest::ScopedEnv noBase_{"dBASEHOME", nullptr};
  wqtest::ScopedEnv noConfig_{"WQOSDK_PLATFORM_CONFIG", "/nonexistent/wqosdk-platform.ini"};
  wqtest::ScopedEnv noKnownHosts_{"WQOSDK_KNOWN_HOSTS", nullptr};
  wqtest::ScopedEnv fewPolls_{"WQOSDK_WAIT_POLLS", "3"};
  std::unique_ptr<wqtest::ScopedEnv> caFile_;
  std::unique_ptr<wqsim::ClusterSimulator> simulator_;
  std::string backupDir_;
  std::string mountBase_;
  OpenShiftSDKWrapper::WQOpenShiftSDKWrapper facade_;
};

}  // namespace wftest
