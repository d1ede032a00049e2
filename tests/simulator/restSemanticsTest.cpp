// Create, read, replace, delete and list over HTTPS: the server's own fields, member order,
// Status bodies, validation and the preservation of what the client sent.
#include <regex>
#include <vector>

#include "tests/simulator/simulatorTestUtil.h"

namespace wqsim {
namespace testing {
namespace {

namespace bj = boost::json;

std::vector<std::string> Keys(const bj::object& object) {
  std::vector<std::string> keys;
  for (const auto& member : object) keys.emplace_back(member.key());
  return keys;
}

class RestTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    StartCluster();
  }
};

TEST_F(RestTest, CreateStampsServerFieldsKeepsClientMembersAndWritesInServerOrder) {
  const HttpResult created =
      Post("/api/v1/namespaces/demo/configmaps",
           R"({"data":{"b":"2","a":"<&>"},"apiVersion":"v1","kind":"ConfigMap",)"
           R"("metadata":{"labels":{"z":"1","a":"2"},"name":"settings","custom":"x"},)"
           R"("extra":{"keep":[1,true,null]}})");
  ASSERT_EQ(201, created.status) << created.body;
  // Compact JSON with one trailing line feed, HTML characters escaped as the Go encoder does.
  ASSERT_FALSE(created.body.empty());
  EXPECT_EQ('\n', created.body.back());
  EXPECT_EQ(created.body.size() - 1, created.body.find('\n'));
  EXPECT_NE(std::string::npos, created.body.find(R"("a":"\u003c\u0026\u003e")")) << created.body;

  const bj::object object = ParsedObject(created.body);
  EXPECT_EQ((std::vector<std::string>{"kind", "apiVersion", "metadata", "data", "extra"}),
            Keys(object));
  const bj::object& metadata = object.at("metadata").as_object();
  EXPECT_EQ((std::vector<std::string>{"name", "namespace", "selfLink", "uid", "resourceVersion",
                                      "creationTimestamp", "labels", "custom"}),
            Keys(metadata));
  EXPECT_EQ((std::vector<std::string>{"a", "z"}), Keys(metadata.at("labels").as_object()));
  EXPECT_EQ("demo", At(object, "metadata/namespace"));
  EXPECT_EQ("/api/v1/namespaces/demo/configmaps/settings", At(object, "metadata/selfLink"));
  EXPECT_TRUE(
      std::regex_match(At(object, "metadata/uid"),
                       std::regex("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")));
  EXPECT_TRUE(std::regex_match(At(object, "metadata/resourceVersion"), std::regex("[0-9]+")));
  EXPECT_TRUE(
      std::regex_match(At(object, "metadata/creationTimestamp"),
                       std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z")));
  EXPECT_EQ(R"([1,true,null])", At(object, "extra/keep"));

  // A read gives back the very bytes of the create answer.
  EXPECT_EQ(created.body, Call("GET", "/api/v1/namespaces/demo/configmaps/settings").body);
}

TEST_F(RestTest, ReplaceChecksResourceVersionAndAnExportedObjectRoundTrips) {
  ASSERT_EQ(
      201,
      Post(
          "/api/v1/namespaces/demo/secrets",
          R"({"kind":"Secret","apiVersion":"v1","metadata":{"name":"db-data"},"data":{"k":"dg=="},"type":"Opaque"})")
          .status);
  const HttpResult exported = Call("GET", "/api/v1/namespaces/demo/secrets/db-data");
  const bj::object before = ParsedObject(exported.body);

  // The exported text goes back unchanged: accepted, only the resourceVersion moves on.
  const HttpResult replaced = Call("PUT", "/api/v1/namespaces/demo/secrets/db-data", exported.body);
  ASSERT_EQ(200, replaced.status) << replaced.body;
  bj::object after = ParsedObject(replaced.body);
  EXPECT_LT(std::stoll(At(before, "metadata/resourceVersion")),
            std::stoll(At(after, "metadata/resourceVersion")));
  after["metadata"].as_object()["resourceVersion"] = At(before, "metadata/resourceVersion");
  EXPECT_EQ(before, after);

  // The same text again now carries a stale resourceVersion.
  const HttpResult stale = Call("PUT", "/api/v1/namespaces/demo/secrets/db-data", exported.body);
  EXPECT_EQ(409, stale.status);
  EXPECT_EQ(
      R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Failure","message":"Operation cannot be fulfilled on secrets \"db-data\": the object has been modified; please apply your changes to the latest version and try again","reason":"Conflict","details":{"name":"db-data","kind":"secrets"},"code":409})"
      "\n",
      stale.body);

  // Without a resourceVersion the replace is unconditional; uid and creation time stay.
  const HttpResult unconditional =
      Call("PUT", "/api/v1/namespaces/demo/secrets/db-data",
           R"({"metadata":{"name":"db-data","uid":"forged"},"type":"Opaque"})");
  ASSERT_EQ(200, unconditional.status) << unconditional.body;
  const bj::object latest = ParsedObject(unconditional.body);
  EXPECT_EQ(At(before, "metadata/uid"), At(latest, "metadata/uid"));
  EXPECT_EQ(At(before, "metadata/creationTimestamp"), At(latest, "metadata/creationTimestamp"));
  EXPECT_EQ("", At(latest, "data"));
}

TEST_F(RestTest, ServerOwnedStatusIgnoresWhatTheClientSends) {
  const HttpResult created =
      Post("/api/v1/namespaces/demo/persistentvolumeclaims",
           R"({"metadata":{"name":"c1"},"spec":{"storageClassName":"none",)"
           R"("accessModes":["ReadWriteOnce"],"resources":{"requests":{"storage":"1Gi"}}},)"
           R"("status":{"phase":"Bound","capacity":{"storage":"9Gi"}}})");
  ASSERT_EQ(201, created.status) << created.body;
  bj::object claim = ParsedObject(created.body);
  EXPECT_EQ(R"({"phase":"Pending"})", At(claim, "status"));
  claim["status"] = bj::object{{"phase", "Lost"}};
  const HttpResult replaced =
      Call("PUT", "/api/v1/namespaces/demo/persistentvolumeclaims/c1", bj::serialize(claim));
  ASSERT_EQ(200, replaced.status) << replaced.body;
  EXPECT_EQ("Pending", At(ParsedObject(replaced.body), "status/phase"));
}

struct StatusRow {
  const char* path;
  const char* body;
};

class NotFoundTest : public RestTest, public ::testing::WithParamInterface<StatusRow> {};

TEST_P(NotFoundTest, AnswersTheServersNotFoundStatus) {
  const HttpResult result = Call("GET", GetParam().path);
  EXPECT_EQ(404, result.status);
  EXPECT_EQ(std::string(GetParam().body) + "\n", result.body);
}

INSTANTIATE_TEST_SUITE_P(Resources,
                         NotFoundTest, ::testing::Values(StatusRow{"/api/v1/namespaces/demo/persistentvolumeclaims/db-data", R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Failure","message":"persistentvolumeclaims \"db-data\" not found","reason":"NotFound","details":{"name":"db-data","kind":"persistentvolumeclaims"},"code":404})"}, StatusRow{"/api/v1/persistentvolumes/pvc-0b096382-31b5-11e8-8991-525400f66312", R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Failure","message":"persistentvolumes \"pvc-0b096382-31b5-11e8-8991-525400f66312\" not found","reason":"NotFound","details":{"name":"pvc-0b096382-31b5-11e8-8991-525400f66312","kind":"persistentvolumes"},"code":404})"}, StatusRow{"/api/v1/namespaces/demo/endpoints/glusterfs-dynamic-db-data", R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Failure","message":"endpoints \"glusterfs-dynamic-db-data\" not found","reason":"NotFound","details":{"name":"glusterfs-dynamic-db-data","kind":"endpoints"},"code":404})"}, StatusRow{"/apis/storage.k8s.io/v1/storageclasses/gold", R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Failure","message":"storageclasses.storage.k8s.io \"gold\" not found","reason":"NotFound","details":{"name":"gold","group":"storage.k8s.io","kind":"storageclasses"},"code":404})"}, StatusRow{"/oapi/v1/namespaces/demo/deploymentconfigs/mysql", R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Failure","message":"deploymentconfigs.apps.openshift.io \"mysql\" not found","reason":"NotFound","details":{"name":"mysql","group":"apps.openshift.io","kind":"deploymentconfigs"},"code":404})"}, StatusRow{"/oapi/v1/namespaces/demo/deploymentconfigs/mysql/scale", R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Failure","message":"deploymentconfigs.apps.openshift.io \"mysql\" not found","reason":"NotFound","details":{"name":"mysql","group":"apps.openshift.io","kind":"deploymentconfigs"},"code":404})"}, StatusRow{"/api/v1/namespaces/demo/pods/grafana", R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Failure","message":"pods \"grafana\" not found","reason":"NotFound","details":{"name":"grafana","kind":"pods"},"code":404})"}, StatusRow{"/oapi/v1/projects/nowhere", R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Failure","message":"projects.project.openshift.io \"nowhere\" not found","reason":"NotFound","details":{"name":"nowhere","group":"project.openshift.io","kind":"projects"},"code":404})"}, StatusRow{"/api/v1/namespaces/demo/secrets/db-data/extra", R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Failure","message":"the server could not find the requested resource","reason":"NotFound","details":{},"code":404})"}));

TEST_F(RestTest, DuplicateCreateAnswersAlreadyExists) {
  const std::string claim =
      R"({"metadata":{"name":"db-data"},"spec":{"accessModes":["ReadWriteOnce"],"resources":{"requests":{"storage":"1Gi"}}}})";
  ASSERT_EQ(201, Post("/api/v1/namespaces/demo/persistentvolumeclaims", claim).status);
  const HttpResult again = Post("/api/v1/namespaces/demo/persistentvolumeclaims", claim);
  EXPECT_EQ(409, again.status);
  EXPECT_EQ(
      R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Failure","message":"persistentvolumeclaims \"db-data\" already exists","reason":"AlreadyExists","details":{"name":"db-data","kind":"persistentvolumeclaims"},"code":409})"
      "\n",
      again.body);
  // The same name in another namespace is another object.
  EXPECT_EQ(201, Post("/api/v1/namespaces/other/persistentvolumeclaims", claim).status);
}

struct RefusalRow {
  const char* method;
  const char* path;
  const char* body;
  long status;
  const char* reason;
};

class RefusalTest : public RestTest, public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(RefusalTest, RefusesWithAStatusOfTheApiShape) {
  ASSERT_EQ(201,
            Post("/api/v1/namespaces/demo/secrets", R"({"metadata":{"name":"present"}})").status);
  const HttpResult result = Call(GetParam().method, GetParam().path, GetParam().body);
  EXPECT_EQ(GetParam().status, result.status) << result.body;
  const bj::object status = ParsedObject(result.body);
  EXPECT_EQ("Status", At(status, "kind"));
  EXPECT_EQ("Failure", At(status, "status"));
  EXPECT_EQ(GetParam().reason, At(status, "reason"));
  EXPECT_EQ(std::to_string(GetParam().status), At(status, "code"));
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, RefusalTest,
    ::testing::Values(
        RefusalRow{"POST", "/api/v1/namespaces/demo/secrets", "not json", 400, "BadRequest"},
        RefusalRow{"POST", "/api/v1/namespaces/demo/secrets", "[1,2]", 400, "BadRequest"},
        RefusalRow{"POST", "/api/v1/namespaces/demo/secrets",
                   R"({"kind":"ConfigMap","metadata":{"name":"x"}})", 400, "BadRequest"},
        RefusalRow{"POST", "/api/v1/namespaces/demo/secrets",
                   R"({"metadata":{"name":"x","namespace":"other"}})", 400, "BadRequest"},
        RefusalRow{"POST", "/api/v1/namespaces/demo/secrets", R"({"metadata":{}})", 422, "Invalid"},
        RefusalRow{"POST", "/oapi/v1/namespaces/demo/deploymentconfigs",
                   R"({"metadata":{"name":"Bad_Name"}})", 422, "Invalid"},
        RefusalRow{"POST", "/oapi/v1/projects", R"({"metadata":{"name":"dotted.name"}})", 422,
                   "Invalid"},
        RefusalRow{"POST", "/api/v1/namespaces/missing/secrets", R"({"metadata":{"name":"x"}})",
                   404, "NotFound"},
        RefusalRow{"PUT", "/api/v1/namespaces/demo/secrets/present",
                   R"({"metadata":{"name":"other"}})", 400, "BadRequest"},
        RefusalRow{"PUT", "/api/v1/namespaces/demo/secrets/absent",
                   R"({"metadata":{"name":"absent"}})", 404, "NotFound"},
        RefusalRow{"DELETE", "/api/v1/namespaces/demo/secrets/present", "{oops", 400, "BadRequest"},
        RefusalRow{"POST", "/api/v1/namespaces/demo/secrets/present", "{}", 405,
                   "MethodNotAllowed"},
        RefusalRow{"POST", "/api/v1/pods", R"({"metadata":{"name":"x"}})", 405,
                   "MethodNotAllowed"}));

TEST_F(RestTest, DeleteAnswersAsTheServerDoes) {
  const bj::object secret = ParsedObject(
      Post("/api/v1/namespaces/demo/secrets", R"({"metadata":{"name":"db-data"}})").body);
  const HttpResult deleted =
      Call("DELETE", "/api/v1/namespaces/demo/secrets/db-data",
           R"({"kind":"DeleteOptions","apiVersion":"v1","gracePeriodSeconds":0})");
  EXPECT_EQ(200, deleted.status);
  EXPECT_EQ(
      R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Success","details":{"name":"db-data","kind":"secrets","uid":")" +
          At(secret, "metadata/uid") + "\"}}\n",
      deleted.body);
  EXPECT_EQ(404, Call("GET", "/api/v1/namespaces/demo/secrets/db-data").status);
  EXPECT_EQ(404, Call("DELETE", "/api/v1/namespaces/demo/secrets/db-data").status);

  // Pods are deleted gracefully: the answer is the pod, marked for deletion.
  ASSERT_EQ(
      201,
      Post("/api/v1/namespaces/demo/pods",
           R"({"metadata":{"name":"p"},"spec":{"containers":[{"name":"c","image":"busybox"}]}})")
          .status);
  const HttpResult pod = Call("DELETE", "/api/v1/namespaces/demo/pods/p");
  EXPECT_EQ(200, pod.status);
  EXPECT_EQ("Pod", At(ParsedObject(pod.body), "kind"));
  EXPECT_FALSE(At(ParsedObject(pod.body), "metadata/deletionTimestamp").empty());

  // A project takes everything in it along.
  ASSERT_EQ(201,
            Post("/api/v1/namespaces/other/configmaps", R"({"metadata":{"name":"cm"}})").status);
  const HttpResult project = Call("DELETE", "/oapi/v1/projects/other");
  EXPECT_EQ(R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Success","code":200})"
            "\n",
            project.body);
  EXPECT_EQ(404, Call("GET", "/api/v1/namespaces/other/configmaps/cm").status);
  EXPECT_EQ(404, Call("GET", "/oapi/v1/projects/other").status);
}

TEST_F(RestTest, ListsUseTheListEnvelopeWithBareItemsInNameOrder) {
  for (const char* name : {"zeta", "alpha", "mid"}) {
    ASSERT_EQ(201, Post("/api/v1/namespaces/demo/configmaps",
                        std::string(R"({"metadata":{"name":")") + name + "\"}}")
                       .status);
  }
  ASSERT_EQ(
      201,
      Post("/api/v1/namespaces/other/configmaps", R"({"metadata":{"name":"elsewhere"}})").status);
  const HttpResult latest =
      Post("/api/v1/namespaces/demo/secrets", R"({"metadata":{"name":"last"}})");

  const bj::object list = GetObject("/api/v1/namespaces/demo/configmaps");
  EXPECT_EQ((std::vector<std::string>{"kind", "apiVersion", "metadata", "items"}), Keys(list));
  EXPECT_EQ("ConfigMapList", At(list, "kind"));
  EXPECT_EQ("v1", At(list, "apiVersion"));
  EXPECT_EQ(R"({"selfLink":"/api/v1/namespaces/demo/configmaps","resourceVersion":")" +
                At(ParsedObject(latest.body), "metadata/resourceVersion") + "\"}",
            At(list, "metadata"));
  std::vector<std::string> names;
  for (const bj::value& item : list.at("items").as_array()) {
    EXPECT_FALSE(item.as_object().contains("kind"));
    EXPECT_FALSE(item.as_object().contains("apiVersion"));
    names.push_back(At(item.as_object(), "metadata/name"));
  }
  EXPECT_EQ((std::vector<std::string>{"alpha", "mid", "zeta"}), names);

  EXPECT_EQ("[]", At(GetObject("/api/v1/namespaces/demo/endpoints"), "items"));
  EXPECT_EQ("[]", At(GetObject("/api/v1/namespaces/nowhere/pods"), "items"));
  const bj::object classes = GetObject("/apis/storage.k8s.io/v1/storageclasses");
  EXPECT_EQ("StorageClassList", At(classes, "kind"));
  EXPECT_EQ("storage.k8s.io/v1", At(classes, "apiVersion"));
  EXPECT_EQ(2u, classes.at("items").as_array().size());
  const bj::object projects = GetObject("/oapi/v1/projects");
  EXPECT_EQ("ProjectList", At(projects, "kind"));
  EXPECT_EQ("Active", At(projects.at("items").at(0).as_object(), "status/phase"));
}

TEST_F(RestTest, EndpointsReplaceCreatesAndPrettyOutputIsIndented) {
  const HttpResult created = Call(
      "PUT", "/api/v1/namespaces/demo/endpoints/ep",
      R"({"metadata":{"name":"ep"},"subsets":[{"addresses":[{"ip":"10.1.1.1"}],"ports":[{"port":1}]}]})");
  EXPECT_EQ(201, created.status) << created.body;
  const HttpResult pretty = Call("GET", "/api/v1/namespaces/demo/endpoints/ep?pretty=true");
  ASSERT_EQ(200, pretty.status);
  EXPECT_EQ(0u, pretty.body.find("{\n  \"kind\": \"Endpoints\",\n  \"apiVersion\": \"v1\",\n"));
  EXPECT_NE('\n', pretty.body.back());
  EXPECT_EQ(ParsedObject(created.body), ParsedObject(pretty.body));
  EXPECT_EQ(0u, Call("GET", "/api/v1/namespaces/demo/endpoints/none?pretty=true")
                    .body.find("{\n  \"kind\": \"Status\",\n"));
}

}  // namespace
}  // namespace testing
}  // namespace wqsim
