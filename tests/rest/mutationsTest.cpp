// REST mutations against the scripted server: the request each one sends (method,
// path, and the body exactly as the codec prepares and serialises it), the
// polling waits with their bound, and create-or-update of secrets and config maps.
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
  const char* label;
  const char* method;
  const char* path;
  // Runs the operation; `body` receives what the codec makes of the same input on
  // its own, and `returned` the caller's record serialised after the call.
  std::function<bool(WQOpenShiftOperations&, std::string& body, std::string& returned)> run;
  std::vector<std::string> followUp;  // GETs of the wait that follows a successful request
  const char* context;
  const char* requestFailed;
  bool logsBody = false;  // logs the body it is about to send
};
void PrintTo(const MutationRow& row, std::ostream* os) { *os << row.label; }

template <typename R, typename Call, typename Expect>
std::function<bool(WQOpenShiftOperations&, std::string&, std::string&)> Mutation(
    R (*make)(), Call call, Expect expect,
    bool (WQOpenShiftParser::*serialize)(R&, std::string&) const) {
  return [=](WQOpenShiftOperations& ops, std::string& body, std::string& returned) {
    R expected = make();
    expect(expected);
    EXPECT_TRUE((kParser.*serialize)(expected, body));
    R record = make();
    const bool ok = call(ops, record);
    EXPECT_TRUE((kParser.*serialize)(record, returned));
    return ok;
  };
}

template <typename R>
void Unchanged(R&) {}

std::vector<MutationRow> Rows() {
  using P = WQOpenShiftParser;
  return {
      {"CreateDeploymentConfig",
       "POST",
       "/oapi/v1/namespaces/ops/deploymentconfigs",
       Mutation(
           Dc, [](WQOpenShiftOperations& o, auto& r) { return o.CreateDeploymentConfig("ops", r); },
           [](auto& r) { kParser.PrepareDeploymentConfig(r); }, &P::SerializeDeploymentConfig),
       {},
       OperationContexts::kCreateDeploymentConfig,
       "Failed to CreateDeploymentConfig"},
      {"UpdateDeploymentConfig",
       "PUT",
       kDcPath,
       Mutation(
           Dc,
           [](WQOpenShiftOperations& o, auto& r) {
             SDeploymentConfigInfoLib current;
             current.metadata.resourceVersion = "4711";
             return o.UpdateDeploymentConfig("ops", "web", r, current);
           },
           [](auto& r) {
             SDeploymentConfigInfoLib current;
             current.metadata.resourceVersion = "4711";
             kParser.PrepareDeploymentConfig(r, current);
           },
           &P::SerializeDeploymentConfig),
       {},
       OperationContexts::kUpdateDeploymentConfig,
       "Failed to UpdateDeploymentConfig"},
      // Scaling to the replicas already available returns after one read.
      {"ScaleDeploymentConfig",
       "PUT",
       "/oapi/v1/namespaces/ops/deploymentconfigs/web/scale",
       Mutation(
           +[] { return Scale(0); },
           [](WQOpenShiftOperations& o, auto& r) {
             return o.ScaleDeploymentConfig("ops", "web", r);
           },
           Unchanged<SScaleInfoLib>, &P::SerializeScale),
       {std::string("GET ") + kDcPath},
       OperationContexts::kScaleDeploymentConfig,
       "Failed to ScaleDeploymentConfig"},
      {"DeleteDeploymentConfig",
       "DELETE",
       kDcPath,
       Mutation(
           Options,
           [](WQOpenShiftOperations& o, auto& r) {
             return o.DeleteDeploymentConfig("ops", "web", r);
           },
           Unchanged<SDeleteOptionsInfoLib>, &P::SerializeDeleteOptions),
       {},
       OperationContexts::kDeleteDeploymentConfig,
       "Failed to DeleteDeploymentConfig"},
      // The fixture claim is "Bound": the wait ends after one read, without sleeping.
      {"CreatePersistentVolumeClaim",
       "POST",
       "/api/v1/namespaces/ops/persistentvolumeclaims",
       Mutation(
           Claim,
           [](WQOpenShiftOperations& o, auto& r) {
             return o.CreatePersistentVolumeClaim("ops", r);
           },
           [](auto& r) { kParser.PreparePersistentVolumeClaim(r); },
           &P::SerializePersistentVolumeClaim),
       {std::string("GET ") + kClaimPath},
       OperationContexts::kCreatePersistentVolumeClaim,
       "Failed to CreatePersistentVolumeClaim"},
      {"UpdatePersistentVolumeClaim",
       "PUT",
       kClaimPath,
       Mutation(
           Claim,
           [](WQOpenShiftOperations& o, auto& r) {
             return o.UpdatePersistentVolumeClaim("ops", "mypvc", r);
           },
           [](auto& r) { kParser.PreparePersistentVolumeClaim(r); },
           &P::SerializePersistentVolumeClaim),
       {},
       OperationContexts::kUpdatePersistentVolumeClaim,
       "Failed to UpdatePersistentVolumeClaim",
       true},
      {"DeletePersistentVolumeClaim",
       "DELETE",
       kClaimPath,
       Mutation(
           Options,
           [](WQOpenShiftOperations& o, auto& r) {
             return o.DeletePersistentVolumeClaim("ops", "mypvc", r);
           },
           Unchanged<SDeleteOptionsInfoLib>, &P::SerializeDeleteOptions),
       {},
       OperationContexts::kDeletePersistentVolumeClaim,
       "Failed to DeletePersistentVolumeClaim"},
      {"CreatePersistentVolume",
       "POST",
       "/api/v1/persistentvolumes",
       Mutation(
           Volume, [](WQOpenShiftOperations& o, auto& r) { return o.CreatePersistentVolume(r); },
           [](auto& r) { kParser.PreparePersistentVolume(r); }, &P::SerializePersistentVolume),
       {},
       OperationContexts::kCreatePersistentVolume,
       "Failed to CreatePersistentVolume"},
      {"UpdatePersistentVolume",
       "PUT",
       "/api/v1/persistentvolumes/pv1",
       Mutation(
           Volume,
           [](WQOpenShiftOperations& o, auto& r) { return o.UpdatePersistentVolume("pv1", r); },
           [](auto& r) { kParser.PreparePersistentVolume(r); }, &P::SerializePersistentVolume),
       {},
       OperationContexts::kUpdatePersistentVolume,
       "Failed to UpdatePersistentVolume"},
      {"DeletePersistentVolume",
       "DELETE",
       "/api/v1/persistentvolumes/pv1",
       Mutation(
           Options,
           [](WQOpenShiftOperations& o, auto& r) { return o.DeletePersistentVolume("pv1", r); },
           Unchanged<SDeleteOptionsInfoLib>, &P::SerializeDeleteOptions),
       {},
       OperationContexts::kDeletePersistentVolume,
       "Failed to DeletePersistentVolume"},
      {"CreateEndpoints",
       "POST",
       "/api/v1/namespaces/ops/endpoints",
       Mutation(
           Endpoints, [](WQOpenShiftOperations& o, auto& r) { return o.CreateEndpoints("ops", r); },
           [](auto& r) { kParser.PrepareEndpoints(r); }, &P::SerializeEndpoints),
       {},
       OperationContexts::kCreateEndpoints,
       "Failed to CreateEndpoints"},
      {"UpdateEndpoints",
       "PUT",
       "/api/v1/namespaces/ops/endpoints/gfs",
       Mutation(
           Endpoints,
           [](WQOpenShiftOperations& o, auto& r) { return o.UpdateEndpoints("ops", "gfs", r); },
           [](auto& r) { kParser.PrepareEndpoints(r); }, &P::SerializeEndpoints),
       {},
       OperationContexts::kUpdateEndpoints,
       "Failed to UpdateEndpoints"},
      {"DeleteEndpoints",
       "DELETE",
       "/api/v1/namespaces/ops/endpoints/gfs",
       Mutation(
           Options,
           [](WQOpenShiftOperations& o, auto& r) { return o.DeleteEndpoints("ops", "gfs", r); },
           Unchanged<SDeleteOptionsInfoLib>, &P::SerializeDeleteOptions),
       {},
       OperationContexts::kDeleteEndpoints,
       "Failed to DeleteEndpoints"},
  };
}

class MutationTest : public RestTest, public ::testing::WithParamInterface<MutationRow> {
 protected:
  void ScriptFollowUps() {
    server_.Script("GET", kDcPath, ScriptedAnswer::Json(200, Fixture("deploymentconfig.oso.json")));
    server_.Script("GET", kClaimPath,
                   ScriptedAnswer::Json(200, Fixture("persistentvolumeclaim.bound.oso.json")));
  }
};

TEST_P(MutationTest, SendsPreparedAndSerializedRecord) {
  const MutationRow& row = GetParam();
  server_.Script(row.method, row.path, ScriptedAnswer::Json(201, "{\"kind\":\"Status\"}"));
  ScriptFollowUps();
  Login();
  std::string body;
  std::string returned;
  ASSERT_TRUE(row.run(operations_, body, returned));
  std::vector<std::string> expected{std::string(row.method) + " " + row.path};
  expected.insert(expected.end(), row.followUp.begin(), row.followUp.end());
  EXPECT_EQ(Sent(), expected);
  const auto requests = server_.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].body, body);
  // The caller gets the record back as it was sent.
  EXPECT_EQ(returned, body);
  EXPECT_TRUE(sleeps_.empty());
  EXPECT_EQ(LinesOf(row.context), row.logsBody
                                      ? std::vector<std::string>{"ERROR body [" + body + "]"}
                                      : std::vector<std::string>{});
}

TEST_P(MutationTest, FailedRequestLogsAndSkipsTheWait) {
  const MutationRow& row = GetParam();
  server_.Script(row.method, row.path, ScriptedAnswer::Json(422, Fixture("status.full.head.json")));
  ScriptFollowUps();
  Login();
  std::string body;
  std::string returned;
  EXPECT_FALSE(row.run(operations_, body, returned));
  EXPECT_EQ(Sent(), std::vector<std::string>{std::string(row.method) + " " + row.path});
  std::vector<std::string> expected{std::string("ERROR ") + row.requestFailed};
  if (row.logsBody) expected.insert(expected.begin(), "ERROR body [" + body + "]");
  EXPECT_EQ(LinesOf(row.context), expected);
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

TEST_P(WaitTest, PollsEveryTenSecondsUntilDone) {
  const WaitRow& row = GetParam();
  server_.Script(row.writeMethod, row.writePath, ScriptedAnswer::Json(201, "{}"));
  server_.Script("GET", row.pollPath, ScriptedAnswer::Json(200, row.waiting).Times(2));
  server_.Script("GET", row.pollPath, ScriptedAnswer::Json(200, row.done));
  Login();
  EXPECT_TRUE(row.run(operations_));
  EXPECT_EQ(server_.CountRequests("GET", row.pollPath), 3u);
  ExpectSleeps(2);
  EXPECT_EQ(LinesOf(row.waitContext), std::vector<std::string>{});
}

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
  bool (WQOpenShiftParser::*prepare)(const std::string&, std::string&) const;
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
  std::string Prepared() const {
    std::string text = Fixture(GetParam().fixture);
    EXPECT_TRUE((kParser.*GetParam().prepare)("ops", text));
    return text;
  }
  std::string Message(const char* pattern, const std::string& response = "") const {
    std::string text = pattern;
    text.replace(text.find("%k"), 2, GetParam().kind);
    return text + " [" + GetParam().name + "]:[ops]" +
           (response.empty() ? "" : " resp [" + response + "]");
  }
};

TEST_P(CreateOrUpdateTest, ExistingObjectIsUpdatedInPlace) {
  const CreateOrUpdateRow& row = GetParam();
  server_.Script("GET", ObjectPath(), ScriptedAnswer::Json(200, Fixture(row.fixture)));
  server_.Script("PUT", ObjectPath(), ScriptedAnswer::Json(200, "{}"));
  Login();
  EXPECT_TRUE(Run(Fixture(row.fixture)));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"GET " + ObjectPath(), "PUT " + ObjectPath()}));
  EXPECT_EQ(server_.Requests()[1].body, Prepared());
  EXPECT_EQ(LinesOf(row.context), std::vector<std::string>{"DEBUG " + Message("Updated %k")});
}

TEST_P(CreateOrUpdateTest, MissingObjectIsCreatedInTheCollection) {
  const CreateOrUpdateRow& row = GetParam();
  server_.Script("GET", ObjectPath(), ScriptedAnswer::Json(404, Fixture("status.notfound.json")));
  server_.Script("POST", row.collection, ScriptedAnswer::Json(201, "{}"));
  Login();
  EXPECT_TRUE(Run(Fixture(row.fixture)));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"GET " + ObjectPath(),
                                              std::string("POST ") + row.collection}));
  EXPECT_EQ(server_.Requests()[1].body, Prepared());
  EXPECT_EQ(LinesOf(row.context), std::vector<std::string>{"DEBUG " + Message("Created %k")});
}

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
                                        &WQOpenShiftParser::PrepareSecret,
                                        OperationContexts::kCreateOrUpdateSecret, "secret"},
                      CreateOrUpdateRow{"ConfigMap", "/api/v1/namespaces/ops/configmaps",
                                        "configmap.oso.json", "configmap",
                                        &WQOpenShiftOperations::CreateOrUpdateConfigMap,
                                        &WQOpenShiftParser::PrepareConfigMap,
                                        OperationContexts::kCreateOrUpdateConfigMap, "configmap"}),
    [](const ::testing::TestParamInfo<CreateOrUpdateRow>& info) { return info.param.label; });

}  // namespace
}  // namespace resttest
