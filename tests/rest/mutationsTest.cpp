// REST mutations against the scripted server: the request each one sends (method and
// path), the polling waits with their bound, and create-or-update of secrets and config maps.
#include <functional>

#include "host/settings.h"
#include "operations/logContexts.h"
#include "tests/rest/restTestUtil.h"

namespace resttest {
namespace {

using namespace OpenShiftSDKWrapper;  // NOLINT(google-build-using-namespace)
using wqsim::ScriptedAnswer;

const WQOpenShiftParser kParser;

template <typename R>
R Load(const char* fixture, bool (WQOpenShiftParser::*parse)(const std::string&, R&) const) {
  R record;
  EXPECT_TRUE((kParser.*parse)(Fixture(fixture), record)) << fixture;
  return record;
}
SDeploymentConfigInfoLib Dc() {
  return Load("deploymentconfig.oso.json", &WQOpenShiftParser::ParseDeploymentConfig);
}
SPersistentVolumeClaimInfoLib Claim() {
  return Load("persistentvolumeclaim.bound.oso.json",
              &WQOpenShiftParser::ParsePersistentVolumeClaim);
}
SPersistentVolumeInfoLib Volume() {
  return Load("persistentvolume.glusterfs.static.json", &WQOpenShiftParser::ParsePersistentVolume);
}
SEndpointsInfoLib Endpoints() {
  return Load("endpoints.glusterfs.json", &WQOpenShiftParser::ParseEndpoints);
}
SDeleteOptionsInfoLib Options() {
  SDeleteOptionsInfoLib options;
  options.kind = "DeleteOptions";
  options.apiVersion = "v1";
  options.gracePeriodSeconds = 5;
  options.propagationPolicy = "Foreground";
  return options;
}
SScaleInfoLib Scale(int replicas) {
  SScaleInfoLib scale;
  scale.kind = "Scale";
  scale.apiVersion = "extensions/v1beta1";
  scale.metadata.name = "web";
  scale.spec.replicas = replicas;
  return scale;
}

// The deployment config fixture has no status: it reports 0 available replicas.
const char* const kDcPath = "/oapi/v1/namespaces/ops/deploymentconfigs/web";
const char* const kClaimPath = "/api/v1/namespaces/ops/persistentvolumeclaims/mypvc";

struct MutationRow {
  const char* label;    // the operation, named by its failure line "Failed to <label>"
  std::string request;  // "METHOD path"
  std::function<bool(WQOpenShiftOperations&)> run;
  const char* context;
  std::vector<std::string> followUp;  // GETs of the wait that follows a successful request
  bool logsBody;                      // logs the body it is about to send
};
void PrintTo(const MutationRow& row, std::ostream* os) { *os << row.label; }

// A row whose operation runs on a fresh record made by `make`.
template <typename R, typename Call>
MutationRow Row(const char* label, std::string request, R (*make)(), Call call, const char* context,
                std::vector<std::string> followUp = {}, bool logsBody = false) {
  auto run = [=](WQOpenShiftOperations& ops) {
    R record = make();
    return call(ops, record);
  };
  return {label, std::move(request), run, context, std::move(followUp), logsBody};
}

using Ops = WQOpenShiftOperations;
namespace C = OperationContexts;
const std::string kDc = kDcPath;
const std::string kClaim = kClaimPath;
const std::string kVolume = "/api/v1/persistentvolumes/pv1";
const std::string kEndpoints = "/api/v1/namespaces/ops/endpoints/gfs";
SScaleInfoLib NoScale() { return Scale(0); }

std::vector<MutationRow> Rows() {
  return {
      Row(
          "CreateDeploymentConfig", "POST /oapi/v1/namespaces/ops/deploymentconfigs", Dc,
          [](Ops& o, auto& r) { return o.CreateDeploymentConfig("ops", r); },
          C::kCreateDeploymentConfig),
      Row(
          "UpdateDeploymentConfig", "PUT " + kDc, Dc,
          [](Ops& o, auto& r) {
            SDeploymentConfigInfoLib current;
            current.metadata.resourceVersion = "4711";
            return o.UpdateDeploymentConfig("ops", "web", r, current);
          },
          C::kUpdateDeploymentConfig),
      // Scaling to the replicas already available returns after one read.
      Row("ScaleDeploymentConfig", "PUT " + kDc + "/scale", NoScale,
          [](Ops& o, auto& r) { return o.ScaleDeploymentConfig("ops", "web", r); },
          C::kScaleDeploymentConfig, {"GET " + kDc}),
      Row(
          "DeleteDeploymentConfig", "DELETE " + kDc, Options,
          [](Ops& o, auto& r) { return o.DeleteDeploymentConfig("ops", "web", r); },
          C::kDeleteDeploymentConfig),
      // The fixture claim is "Bound": the wait ends after one read, without sleeping.
      Row("CreatePersistentVolumeClaim", "POST /api/v1/namespaces/ops/persistentvolumeclaims",
          Claim, [](Ops& o, auto& r) { return o.CreatePersistentVolumeClaim("ops", r); },
          C::kCreatePersistentVolumeClaim, {"GET " + kClaim}),
      Row(
          "UpdatePersistentVolumeClaim", "PUT " + kClaim, Claim,
          [](Ops& o, auto& r) { return o.UpdatePersistentVolumeClaim("ops", "mypvc", r); },
          C::kUpdatePersistentVolumeClaim, {}, true),
      Row(
          "DeletePersistentVolumeClaim", "DELETE " + kClaim, Options,
          [](Ops& o, auto& r) { return o.DeletePersistentVolumeClaim("ops", "mypvc", r); },
          C::kDeletePersistentVolumeClaim),
      Row(
          "CreatePersistentVolume", "POST /api/v1/persistentvolumes", Volume,
          [](Ops& o, auto& r) { return o.CreatePersistentVolume(r); }, C::kCreatePersistentVolume),
      Row(
          "UpdatePersistentVolume", "PUT " + kVolume, Volume,
          [](Ops& o, auto& r) { return o.UpdatePersistentVolume("pv1", r); },
          C::kUpdatePersistentVolume),
      Row(
          "DeletePersistentVolume", "DELETE " + kVolume, Options,
          [](Ops& o, auto& r) { return o.DeletePersistentVolume("pv1", r); },
          C::kDeletePersistentVolume),
      Row(
          "CreateEndpoints", "POST /api/v1/namespaces/ops/endpoints", Endpoints,
          [](Ops& o, auto& r) { return o.CreateEndpoints("ops", r); }, C::kCreateEndpoints),
      Row(
          "UpdateEndpoints", "PUT " + kEndpoints, Endpoints,
          [](Ops& o, auto& r) { return o.UpdateEndpoints("ops", "gfs", r); }, C::kUpdateEndpoints),
      Row(
          "DeleteEndpoints", "DELETE " + kEndpoints, Options,
          [](Ops& o, auto& r) { return o.DeleteEndpoints("ops", "gfs", r); }, C::kDeleteEndpoints),
  };
}

class MutationTest : public RestTest, public ::testing::WithParamInterface<MutationRow> {
 protected:
  // The row's request answered with `answer`, and the wait's reads.
  void Script(const ScriptedAnswer& answer) {
    const std::string& request = GetParam().request;
    server_.Script(request.substr(0, request.find(' ')), request.substr(request.find(' ') + 1),
                   answer);
    server_.Script("GET", kDcPath, ScriptedAnswer::Json(200, Fixture("deploymentconfig.oso.json")));
    server_.Script("GET", kClaimPath,
                   ScriptedAnswer::Json(200, Fixture("persistentvolumeclaim.bound.oso.json")));
  }
  // The lines of the row's context, a logged body shown as "ERROR body [...]".
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines = LinesOf(GetParam().context);
    for (std::string& line : lines) {
      if (line.rfind("ERROR body [", 0) == 0) line = "ERROR body [...]";
    }
    return lines;
  }
};

// The request of each operation, then the wait's reads; the codec tests pin the bodies.
TEST_P(MutationTest, SendsOneRequestThenTheWait) {
  const MutationRow& row = GetParam();
  Script(ScriptedAnswer::Json(201, "{\"kind\":\"Status\"}"));
  Login();
  ASSERT_TRUE(row.run(operations_));
  std::vector<std::string> expected{row.request};
  expected.insert(expected.end(), row.followUp.begin(), row.followUp.end());
  EXPECT_EQ(Sent(), expected);
  ASSERT_FALSE(server_.Requests().empty());
  EXPECT_EQ(server_.Requests()[0].body.front(), '{');
  EXPECT_TRUE(sleeps_.empty());
  EXPECT_EQ(Lines(), row.logsBody ? std::vector<std::string>{"ERROR body [...]"}
                                  : std::vector<std::string>{});
}

TEST_P(MutationTest, FailedRequestLogsAndSkipsTheWait) {
  const MutationRow& row = GetParam();
  Script(ScriptedAnswer::Json(422, Fixture("status.full.head.json")));
  Login();
  EXPECT_FALSE(row.run(operations_));
  EXPECT_EQ(Sent(), std::vector<std::string>{row.request});
  std::vector<std::string> expected{std::string("ERROR Failed to ") + row.label};
  if (row.logsBody) expected.insert(expected.begin(), "ERROR body [...]");
  EXPECT_EQ(Lines(), expected);
}

INSTANTIATE_TEST_SUITE_P(Mutations, MutationTest, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<MutationRow>& info) {
                           return info.param.label;
                         });

// The two waits, each seen from the operation that runs it.
struct WaitRow {
  const char* label;
  const char* writeMethod;
  const char* writePath;
  const char* pollPath;
  std::string waiting;  // a reply that keeps the wait going
  std::string done;     // a reply that ends it
  std::function<bool(WQOpenShiftOperations&)> run;
  const char* waitContext;
  const char* callerContext;
  const char* awaited;  // how the time-out line names the awaited state
  const char* failedCheck;
};
void PrintTo(const WaitRow& row, std::ostream* os) { *os << row.label; }

std::string ClaimInPhase(const std::string& phase) {
  return "{\"kind\":\"PersistentVolumeClaim\",\"metadata\":{\"name\":\"mypvc\"},\"status\":{"
         "\"phase\":\"" +
         phase + "\"}}";
}
std::string DcWithAvailable(int replicas) {
  return "{\"kind\":\"DeploymentConfig\",\"metadata\":{\"name\":\"web\"},\"status\":{"
         "\"availableReplicas\":" +
         std::to_string(replicas) + "}}";
}

std::vector<WaitRow> WaitRows() {
  return {
      {"PendingClaim", "POST", "/api/v1/namespaces/ops/persistentvolumeclaims", kClaimPath,
       ClaimInPhase("Pending"), ClaimInPhase(""),  // any phase but "Pending" ends it, even none
       [](WQOpenShiftOperations& o) {
         SPersistentVolumeClaimInfoLib claim = Claim();
         return o.CreatePersistentVolumeClaim("ops", claim);
       },
       OperationContexts::kWaitForPendingPVC, OperationContexts::kCreatePersistentVolumeClaim,
       "PersistentVolumeClaim [ops/mypvc] to leave phase Pending",
       "Failed to check status of PersistentVolumeClaim"},
      {"ScaleReplicas", "PUT", "/oapi/v1/namespaces/ops/deploymentconfigs/web/scale", kDcPath,
       DcWithAvailable(1), DcWithAvailable(3),
       [](WQOpenShiftOperations& o) {
         SScaleInfoLib scale = Scale(3);
         return o.ScaleDeploymentConfig("ops", "web", scale);
       },
       OperationContexts::kWaitForScaleReplica, OperationContexts::kScaleDeploymentConfig,
       "DeploymentConfig [ops/web] to have 3 available replicas",
       "Failed to check status of DeploymentConfig"},
  };
}

class WaitTest : public RestTest, public ::testing::WithParamInterface<WaitRow> {
 protected:
  // Index of the first line with this context and message, or -1.
  long IndexOf(const std::string& context, const std::string& message) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (lines_[i].context == context && lines_[i].message == message) return static_cast<long>(i);
    }
    return -1;
  }
  void ExpectSleeps(size_t count) {
    ASSERT_EQ(sleeps_.size(), count);
    for (const Sleep& sleep : sleeps_) {
      EXPECT_EQ(sleep.milliseconds, 10000u);
      EXPECT_EQ(sleep.sourceFile, "openshiftOperations");
    }
  }
};

TEST_P(WaitTest, GivesUpAtThePollLimit) {
  const WaitRow& row = GetParam();
  wqtest::ScopedEnv polls("WQOSDK_WAIT_POLLS", "3");
  server_.Script(row.writeMethod, row.writePath, ScriptedAnswer::Json(201, "{}"));
  server_.Script("GET", row.pollPath, ScriptedAnswer::Json(200, row.waiting));
  Login();
  EXPECT_FALSE(row.run(operations_));
  EXPECT_EQ(server_.CountRequests("GET", row.pollPath), 3u);
  ExpectSleeps(2);
  const std::string timedOut =
      std::string("Timed out waiting for ") + row.awaited + " after 3 polls";
  EXPECT_EQ(LinesOf(row.waitContext), std::vector<std::string>{"ERROR " + timedOut});
  const long timeoutAt = IndexOf(row.waitContext, timedOut);
  const long failedAt = IndexOf(row.callerContext, row.failedCheck);
  EXPECT_GE(timeoutAt, 0);
  EXPECT_GT(failedAt, timeoutAt);
}

// Unset, the bound is 60 reads; a value below one still reads once.
TEST_P(WaitTest, DefaultAndDegenerateLimits) {
  const WaitRow& row = GetParam();
  server_.Script(row.writeMethod, row.writePath, ScriptedAnswer::Json(201, "{}"));
  server_.Script("GET", row.pollPath, ScriptedAnswer::Json(200, row.waiting));
  Login();
  EXPECT_FALSE(row.run(operations_));
  EXPECT_EQ(server_.CountRequests("GET", row.pollPath), 60u);
  ExpectSleeps(59);

  for (const char* limit : {"0", "-4", "many"}) {
    wqtest::ScopedEnv polls("WQOSDK_WAIT_POLLS", limit);
    server_.ClearRequests();
    sleeps_.clear();
    EXPECT_FALSE(row.run(operations_));
    const size_t reads = std::string(limit) == "many" ? 60u : 1u;
    EXPECT_EQ(server_.CountRequests("GET", row.pollPath), reads) << limit;
    EXPECT_EQ(sleeps_.size(), reads - 1) << limit;
  }
}

// An object that disappears while awaited ends the wait at once, without a time-out line.
TEST_P(WaitTest, FailedReadEndsTheWait) {
  const WaitRow& row = GetParam();
  server_.Script(row.writeMethod, row.writePath, ScriptedAnswer::Json(201, "{}"));
  server_.Script("GET", row.pollPath, ScriptedAnswer::Json(200, row.waiting).Times(1));
  server_.Script("GET", row.pollPath, ScriptedAnswer::Json(404, Fixture("status.notfound.json")));
  Login();
  EXPECT_FALSE(row.run(operations_));
  EXPECT_EQ(server_.CountRequests("GET", row.pollPath), 2u);
  ExpectSleeps(1);
  EXPECT_EQ(LinesOf(row.waitContext), std::vector<std::string>{});
  const std::vector<std::string> callerLines = LinesOf(row.callerContext);
  ASSERT_FALSE(callerLines.empty());
  EXPECT_EQ(callerLines.back(), std::string("ERROR ") + row.failedCheck);
}

INSTANTIATE_TEST_SUITE_P(Waits, WaitTest, ::testing::ValuesIn(WaitRows()),
                         [](const ::testing::TestParamInfo<WaitRow>& info) {
                           return info.param.label;
                         });

// Create-or-update from backup text, for secrets and config maps alike.
struct CreateOrUpdateRow {
  const char* label;
  const char* collection;
  const char* fixture;
  const char* name;
  bool (WQOpenShiftOperations::*run)(const std::string&, const std::string&, const std::string&);
  const char* context;
  const char* kind;  // as the messages name it
};
void PrintTo(const CreateOrUpdateRow& row, std::ostream* os) { *os << row.label; }

class CreateOrUpdateTest : public RestTest,
                           public ::testing::WithParamInterface<CreateOrUpdateRow> {
 protected:
  std::string ObjectPath() const {
    return std::string(GetParam().collection) + "/" + GetParam().name;
  }
  bool Run(const std::string& text) {
    return (operations_.*GetParam().run)("ops", GetParam().name, text);
  }
  std::string Message(const char* pattern, const std::string& response = "") const {
    std::string text = pattern;
    text.replace(text.find("%k"), 2, GetParam().kind);
    return text + " [" + GetParam().name + "]:[ops]" +
           (response.empty() ? "" : " resp [" + response + "]");
  }
};

TEST_P(CreateOrUpdateTest, FailedWritesLogTheResponse) {
  const CreateOrUpdateRow& row = GetParam();
  server_.Script("GET", ObjectPath(), ScriptedAnswer::Json(200, Fixture(row.fixture)).Times(1));
  server_.Script("PUT", ObjectPath(), ScriptedAnswer::Text(409, "conflict"));
  server_.Script("POST", row.collection, ScriptedAnswer::Text(403, "forbidden"));
  Login();
  EXPECT_FALSE(Run(Fixture(row.fixture)));
  EXPECT_FALSE(Run(Fixture(row.fixture)));  // the look-up now fails: a create is tried
  // An answer to a Secret write that is no JSON object is shown as its length only.
  const bool secret = std::string(row.label) == "Secret";
  EXPECT_EQ(LinesOf(row.context),
            (std::vector<std::string>{
                "ERROR " + Message("Update %k failed", secret ? "<8 bytes>" : "conflict"),
                "ERROR " + Message("Create %k failed", secret ? "<9 bytes>" : "forbidden")}));
}

// Text the codec cannot prepare is refused before any request, without a line of its own.
TEST_P(CreateOrUpdateTest, UnpreparableTextSendsNothing) {
  const CreateOrUpdateRow& row = GetParam();
  Login();
  for (const char* text : {"[1,2]", "not json", "{\"kind\":\"Secret\"}"}) {
    EXPECT_FALSE(Run(text)) << text;
  }
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_EQ(LinesOf(row.context), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    SecretsAndConfigMaps, CreateOrUpdateTest,
    ::testing::Values(CreateOrUpdateRow{"Secret", "/api/v1/namespaces/ops/secrets",
                                        "secret.glusterfs-heketi.json", "heketi-secret",
                                        &WQOpenShiftOperations::CreateOrUpdateSecret,
                                        OperationContexts::kCreateOrUpdateSecret, "secret"},
                      CreateOrUpdateRow{"ConfigMap", "/api/v1/namespaces/ops/configmaps",
                                        "configmap.oso.json", "configmap",
                                        &WQOpenShiftOperations::CreateOrUpdateConfigMap,
                                        OperationContexts::kCreateOrUpdateConfigMap, "configmap"}),
    [](const ::testing::TestParamInfo<CreateOrUpdateRow>& info) { return info.param.label; });

}  // namespace
}  // namespace resttest
