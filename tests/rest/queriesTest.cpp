// Every query against the scripted server: the exact path requested, the parse
// of a realistic document, and what a failed request or a bad body leaves behind.
#include <functional>

#include "queries/logContexts.h"
#include "tests/rest/restTestUtil.h"

namespace resttest {
namespace {

using namespace OpenShiftSDKWrapper;  // NOLINT(google-build-using-namespace)
using wqsim::ScriptedAnswer;

// One line per record, enough to tell that the right parse ran on the right text.
std::string Summary(const SProjectInfoLib& p) { return p.metadata.name + ":" + p.status.phase; }
std::string Summary(const SStorageClassInfoLib& s) { return s.metadata.name; }
std::string Summary(const SDeploymentConfigInfoLib& d) {
  return d.kind + ":" + d.metadata.name + ":" + std::to_string(d.spec.replicas);
}
std::string Summary(const SPersistentVolumeClaimInfoLib& c) {
  return c.metadata.name + ":" + c.status.phase + ":" + c.spec.volumeName;
}
std::string Summary(const SPodInfoLib& p) {
  return p.metadata.name + ":" + (p.spec.containers.empty() ? "" : p.spec.containers[0].name);
}
std::string Summary(const SPersistentVolumeInfoLib& v) {
  return v.metadata.name + ":" + v.spec.glusterfs.endpoints + ":" + v.spec.glusterfs.path;
}
std::string Summary(const SEndpointsInfoLib& e) {
  std::string text = e.metadata.name;
  for (const auto& subset : e.subsets) {
    for (const auto& address : subset.addresses) text += ":" + address.ip;
  }
  return text;
}
std::string Summary(const std::string& text) { return text; }
template <typename R>
std::string Summary(const std::vector<R>& list) {
  std::string text;
  for (const R& r : list) text += (text.empty() ? "" : ",") + Summary(r);
  return text;
}

// Each output starts out holding a marker, so that "untouched" can be seen.
template <typename R>
void Mark(R& r) {
  r.metadata.name = "before";
}
void Mark(std::string& text) { text = "before"; }
template <typename R>
void Mark(std::vector<R>& list) {
  list.resize(1);
  Mark(list[0]);
}

// A query run into a marked output: `run` reports the output's summary
// afterwards, `marked` is the summary of the untouched output.
struct Query {
  std::function<bool(WQOpenShiftQueries&, std::string& summary)> run;
  std::string marked;
};
template <typename Out, typename Call>
Query Into(Call call) {
  Out untouched;
  Mark(untouched);
  return {[call](WQOpenShiftQueries& q, std::string& summary) {
            Out out;
            Mark(out);
            const bool ok = call(q, out);
            summary = Summary(out);
            return ok;
          },
          Summary(untouched)};
}

struct QueryRow {
  const char* label;
  const char* path;
  std::string body;
  Query query;
  std::string parsed;   // summary after a good reply
  const char* context;  // where a failed request is logged
  const char* fetchFailed;
  const char* parseContext;  // where a failed parse is logged; null for a text form
  const char* parseFailed;
};
void PrintTo(const QueryRow& row, std::ostream* os) { *os << row.label; }

const char* const kDcRecordContext = QueryContexts::kGetDeploymentConfigRecord;
const char* const kClaimRecordContext = QueryContexts::kGetPersistentVolumeClaimInfoRecord;

std::vector<QueryRow> Rows() {
  return {
      {"ProjectList", "/oapi/v1/projects",
       ListOf("ProjectList", {"project.oso.json", "project.restclient.json"}),
       Into<std::vector<SProjectInfoLib>>(
           [](WQOpenShiftQueries& q, auto& out) { return q.GetProjectInfoList(out, 7); }),
       "before:,operations:Active,test:Active", QueryContexts::kGetProjectInfoList,
       "Failed to get project list", QueryContexts::kGetProjectInfoList,
       "Failed to parse project list"},
      {"StorageClassList", "/apis/storage.k8s.io/v1/storageclasses",
       ListOf("StorageClassList", {"storageclass.glusterfs.gluster-heketi.json",
                                   "storageclass.glusterfs.full-parameters.json"}),
       Into<std::vector<SStorageClassInfoLib>>(
           [](WQOpenShiftQueries& q, auto& out) { return q.GetStorageClassList(out, 0); }),
       "before,gluster-heketi,slow", QueryContexts::kGetStorageClassList,
       "Failed to get storage class list", QueryContexts::kGetStorageClassList,
       "Failed to parse storage class list"},
      {"DeploymentConfigList", "/oapi/v1/namespaces/ops/deploymentconfigs",
       ListOf("DeploymentConfigList", {"deploymentconfig.oso.json"}),
       Into<std::vector<SDeploymentConfigInfoLib>>([](WQOpenShiftQueries& q, auto& out) {
         return q.GetDeploymentConfigList("ops", out, 0);
       }),
       ":before:0,:oso-rhel7-zagg-web:10", QueryContexts::kGetDeploymentConfigList,
       "Failed to get deploymentconfig list", QueryContexts::kGetDeploymentConfigList,
       "Failed to parse deploymentconfig list"},
      {"DeploymentConfigListAllNamespaces", "/oapi/v1/deploymentconfigs",
       ListOf("DeploymentConfigList", {"deploymentconfig.oso.json"}),
       Into<std::vector<SDeploymentConfigInfoLib>>(
           [](WQOpenShiftQueries& q, auto& out) { return q.GetDeploymentConfigList("", out, 0); }),
       ":before:0,:oso-rhel7-zagg-web:10", QueryContexts::kGetDeploymentConfigList,
       "Failed to get deploymentconfig list", QueryContexts::kGetDeploymentConfigList,
       "Failed to parse deploymentconfig list"},
      {"DeploymentConfig", "/oapi/v1/namespaces/ops/deploymentconfigs/web",
       Fixture("deploymentconfig.oso.json"),
       Into<SDeploymentConfigInfoLib>([](WQOpenShiftQueries& q, auto& out) {
         return q.GetDeploymentConfig("ops", "web", out, 1);
       }),
       "DeploymentConfig:oso-rhel7-zagg-web:10", QueryContexts::kGetDeploymentConfigText,
       "Failed to get DeploymentConfig [web] in [ops]", kDcRecordContext,
       "Failed to parse deploymentconfig"},
      {"DeploymentConfigText", "/oapi/v1/namespaces/ops/deploymentconfigs/web",
       Fixture("deploymentconfig.oso.json"),
       Into<std::string>([](WQOpenShiftQueries& q, auto& out) {
         return q.GetDeploymentConfig("ops", "web", out, 0);
       }),
       Fixture("deploymentconfig.oso.json"), QueryContexts::kGetDeploymentConfigText,
       "Failed to get DeploymentConfig [web] in [ops]", nullptr, nullptr},
      {"ClaimList", "/api/v1/namespaces/ops/persistentvolumeclaims",
       Fixture("persistentvolumeclaim.list.gluster-s3.template.json"),
       Into<std::vector<SPersistentVolumeClaimInfoLib>>([](WQOpenShiftQueries& q, auto& out) {
         return q.GetPersistentVolumeClaimInfoList("ops", out, 0);
       }),
       "before::,gluster-s3-claim::,gluster-s3-meta-claim::",
       QueryContexts::kGetPersistentVolumeClaimInfoList, "Failed to get PersistentVolumeClaim list",
       QueryContexts::kGetPersistentVolumeClaimInfoList,
       "Failed to parse PersistentVolumeClaim list"},
      // No cluster-wide form: an empty namespace leaves two slashes, sent as they are.
      {"PodListEmptyNamespace", "/api/v1/namespaces//pods",
       ListOf("PodList", {"pod.glusterfs-inline.json", "pod.deployer.restclient.json"}),
       Into<std::vector<SPodInfoLib>>(
           [](WQOpenShiftQueries& q, auto& out) { return q.GetPodInfoList("", out, 0); }),
       "before:,glusterfs:glusterfs,database-1-deploy:deployment", QueryContexts::kGetPodInfoList,
       "Failed to get Pod list", QueryContexts::kGetPodInfoList, "Failed to parse Pod list"},
      {"Pod", "/api/v1/namespaces/ops/pods/glusterfs", Fixture("pod.glusterfs-inline.json"),
       Into<SPodInfoLib>([](WQOpenShiftQueries& q, auto& out) {
         return q.GetPodInfo("ops", "glusterfs", out, 0);
       }),
       "glusterfs:glusterfs", QueryContexts::kGetPodInfo, "Failed to get the Pod",
       QueryContexts::kGetPodInfo, "Failed to parse the Pod"},
      {"Claim", "/api/v1/namespaces/ops/persistentvolumeclaims/mypvc",
       Fixture("persistentvolumeclaim.bound.oso.json"),
       Into<SPersistentVolumeClaimInfoLib>([](WQOpenShiftQueries& q, auto& out) {
         return q.GetPersistentVolumeClaimInfo("ops", "mypvc", out, 0);
       }),
       "mypvc:Bound:pv-aws-ow5vl", QueryContexts::kGetPersistentVolumeClaimInfoText,
       "Failed to get PersistentVolumeClaim", kClaimRecordContext,
       "Failed to parse PersistentVolumeClaim"},
      {"ClaimText", "/api/v1/namespaces/ops/persistentvolumeclaims/mypvc",
       Fixture("persistentvolumeclaim.bound.oso.json"),
       Into<std::string>([](WQOpenShiftQueries& q, auto& out) {
         return q.GetPersistentVolumeClaimInfo("ops", "mypvc", out, 0);
       }),
       Fixture("persistentvolumeclaim.bound.oso.json"),
       QueryContexts::kGetPersistentVolumeClaimInfoText, "Failed to get PersistentVolumeClaim",
       nullptr, nullptr},
      {"PersistentVolume", "/api/v1/persistentvolumes/gluster-default-volume",
       Fixture("persistentvolume.glusterfs.static.json"),
       Into<SPersistentVolumeInfoLib>([](WQOpenShiftQueries& q, auto& out) {
         return q.GetPersistentVolumeInfo("gluster-default-volume", out, 0);
       }),
       "gluster-default-volume:glusterfs-cluster:myVol1", QueryContexts::kGetPersistentVolumeInfo,
       "Failed to get PersistentVolume", QueryContexts::kGetPersistentVolumeInfo,
       "Failed to parse PersistentVolume"},
      {"Endpoints", "/api/v1/namespaces/ops/endpoints/glusterfs-cluster",
       Fixture("endpoints.glusterfs.json"),
       Into<SEndpointsInfoLib>([](WQOpenShiftQueries& q, auto& out) {
         return q.GetEndpointsInfo("ops", "glusterfs-cluster", out, 0);
       }),
       "glusterfs-cluster:10.240.106.152:10.240.79.157", QueryContexts::kGetEndpointsInfo,
       "Failed to get endpoints", QueryContexts::kGetEndpointsInfo, "Failed to parse endpoints"},
      {"SecretText", "/api/v1/namespaces/ops/secrets/heketi-secret",
       Fixture("secret.glusterfs-heketi.json"),
       Into<std::string>([](WQOpenShiftQueries& q, auto& out) {
         return q.GetSecretInfo("ops", "heketi-secret", out, 0);
       }),
       Fixture("secret.glusterfs-heketi.json"), QueryContexts::kGetSecretInfo,
       "Failed to get Secret [heketi-secret] in [ops]", nullptr, nullptr},
      // The message names the config map before its namespace.
      {"ConfigMapText", "/api/v1/namespaces/ops/configmaps/configmap",
       Fixture("configmap.oso.json"), Into<std::string>([](WQOpenShiftQueries& q, auto& out) {
         return q.GetConfigMapInfo("ops", "configmap", out, 0);
       }),
       Fixture("configmap.oso.json"), QueryContexts::kGetConfigMapInfo,
       "Failed to get ConfigMap [configmap] in [ops]", nullptr, nullptr},
  };
}

class QueryTest : public RestTest, public ::testing::WithParamInterface<QueryRow> {};

TEST_P(QueryTest, RequestsExactPathAndParsesReply) {
  const QueryRow& row = GetParam();
  server_.Script("GET", row.path, ScriptedAnswer::Json(200, row.body));
  Login();
  std::string summary;
  ASSERT_TRUE(row.query.run(queries_, summary));
  EXPECT_EQ(summary, row.parsed);
  EXPECT_EQ(Sent(), std::vector<std::string>{std::string("GET ") + row.path});
  EXPECT_EQ(LinesOf(row.context), std::vector<std::string>{});
}

// A failed request, whether the cluster refuses it or fails inside: records and
// lists keep what they held, a text form hands back the failure body.
TEST_P(QueryTest, FailedRequestLogsAndLeavesRecordOutputsUntouched) {
  const QueryRow& row = GetParam();
  const std::string notFound = Fixture("status.notfound.json");
  for (const auto& answer :
       {ScriptedAnswer::Json(404, notFound), ScriptedAnswer::Text(500, notFound)}) {
    server_.ClearScripts();
    server_.Script("GET", row.path, answer);
    Login();
    std::string summary;
    EXPECT_FALSE(row.query.run(queries_, summary));
    EXPECT_EQ(summary, row.parseContext == nullptr ? notFound : row.query.marked);
    EXPECT_EQ(LinesOf(row.context),
              std::vector<std::string>{std::string("ERROR ") + row.fetchFailed});
    if (row.parseContext != nullptr && row.parseContext != row.context) {
      EXPECT_EQ(LinesOf(row.parseContext), std::vector<std::string>{});
    }
  }
}

// A record or list query refuses a body cut short; a text form returns it as it came.
TEST_P(QueryTest, TruncatedBody) {
  const QueryRow& row = GetParam();
  const std::string truncated = row.body.substr(0, row.body.size() / 2);
  server_.Script("GET", row.path, ScriptedAnswer::Json(200, truncated));
  Login();
  std::string summary;
  const bool ok = row.query.run(queries_, summary);
  if (row.parseContext == nullptr) {
    EXPECT_TRUE(ok);
    EXPECT_EQ(summary, truncated);
    EXPECT_EQ(LinesOf(row.context), std::vector<std::string>{});
    return;
  }
  EXPECT_FALSE(ok);
  const std::vector<std::string> lines = LinesOf(row.parseContext);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), std::string("ERROR ") + row.parseFailed);
}

INSTANTIATE_TEST_SUITE_P(Queries, QueryTest, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<QueryRow>& info) {
                           return info.param.label;
                         });

// Only the claim's record form logs the reply it is about to parse.
TEST_F(RestTest, ClaimRecordFormLogsReply) {
  const std::string claim = Fixture("persistentvolumeclaim.bound.oso.json");
  const std::string dc = Fixture("deploymentconfig.oso.json");
  server_.Script("GET", "/api/v1/namespaces/ops/persistentvolumeclaims/mypvc",
                 ScriptedAnswer::Json(200, claim));
  server_.Script("GET", "/oapi/v1/namespaces/ops/deploymentconfigs/web",
                 ScriptedAnswer::Json(200, dc));
  Login();
  SPersistentVolumeClaimInfoLib record;
  ASSERT_TRUE(queries_.GetPersistentVolumeClaimInfo("ops", "mypvc", record, 0));
  EXPECT_EQ(LinesOf(kClaimRecordContext), std::vector<std::string>{"DEBUG resp : [" + claim + "]"});
  SDeploymentConfigInfoLib deploymentConfig;
  ASSERT_TRUE(queries_.GetDeploymentConfig("ops", "web", deploymentConfig, 0));
  EXPECT_EQ(LinesOf(kDcRecordContext), std::vector<std::string>{});
}

// Names and namespaces go into the path as given, and the reserved value changes nothing.
TEST_F(RestTest, NamesAreNotEscapedAndReservedIsIgnored) {
  server_.SetDefaultHandler([](const wqsim::RecordedRequest&, wqsim::Reply& reply) {
    reply.body = Fixture("pod.glusterfs-inline.json");
    return true;
  });
  Login();
  SPodInfoLib first;
  SPodInfoLib second;
  ASSERT_TRUE(queries_.GetPodInfo("a-b.c", "x-y.z", first, 0));
  ASSERT_TRUE(queries_.GetPodInfo("a-b.c", "x-y.z", second, ~0ULL));
  EXPECT_EQ(Summary(first), Summary(second));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"GET /api/v1/namespaces/a-b.c/pods/x-y.z",
                                              "GET /api/v1/namespaces/a-b.c/pods/x-y.z"}));
}

}  // namespace
}  // namespace resttest
