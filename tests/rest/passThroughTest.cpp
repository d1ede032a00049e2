// The facade's pass-through members reach the cluster exactly as the inner
// query or operation does: same request, same result, arguments in order.
#include <functional>

#include "tests/rest/restTestUtil.h"
#include "wrapper/openshiftWrapper.h"

namespace resttest {
namespace {

using namespace OpenShiftSDKWrapper;  // NOLINT(google-build-using-namespace)

struct PassThroughRow {
  const char* label;
  std::function<bool(WQOpenShiftSDKWrapper&)> call;
  std::vector<std::string> sent;  // when every request succeeds
};
void PrintTo(const PassThroughRow& row, std::ostream* os) { *os << row.label; }

template <typename R>
R Fresh() { return R(); }

std::vector<PassThroughRow> Rows() {
  const std::string claims = "/api/v1/namespaces/ns/persistentvolumeclaims";
  const std::string dcs = "/oapi/v1/namespaces/ns/deploymentconfigs";
  return {
      {"GetProjectInfoList", [](auto& f) { std::vector<SProjectInfoLib> o; return f.GetProjectInfoList(o, 0); },
       {"GET /oapi/v1/projects"}},
      {"GetStorageClassList", [](auto& f) { std::vector<SStorageClassInfoLib> o; return f.GetStorageClassList(o, 0); },
       {"GET /apis/storage.k8s.io/v1/storageclasses"}},
      {"GetDeploymentConfigInfoList", [](auto& f) { std::vector<SDeploymentConfigInfoLib> o; return f.GetDeploymentConfigInfoList("ns", o, 0); },
       {"GET " + dcs}},
      {"GetDeploymentConfigInfo", [](auto& f) { auto o = Fresh<SDeploymentConfigInfoLib>(); return f.GetDeploymentConfigInfo("ns", "dc", o, 0); },
       {"GET " + dcs + "/dc"}},
      {"GetPersistentVolumeClaimInfoList", [](auto& f) { std::vector<SPersistentVolumeClaimInfoLib> o; return f.GetPersistentVolumeClaimInfoList("ns", o, 0); },
       {"GET " + claims}},
      {"GetPodInfoList", [](auto& f) { std::vector<SPodInfoLib> o; return f.GetPodInfoList("ns", o, 0); },
       {"GET /api/v1/namespaces/ns/pods"}},
      {"GetPodInfo", [](auto& f) { auto o = Fresh<SPodInfoLib>(); return f.GetPodInfo("ns", "pod", o, 0); },
       {"GET /api/v1/namespaces/ns/pods/pod"}},
      {"GetPersistentVolumeClaimInfo", [](auto& f) { auto o = Fresh<SPersistentVolumeClaimInfoLib>(); return f.GetPersistentVolumeClaimInfo("ns", "pvc", o, 0); },
       {"GET " + claims + "/pvc"}},
      {"GetPersistentVolumeInfo", [](auto& f) { auto o = Fresh<SPersistentVolumeInfoLib>(); return f.GetPersistentVolumeInfo("pv", o, 0); },
       {"GET /api/v1/persistentvolumes/pv"}},
      {"GetEndpointsInfo", [](auto& f) { auto o = Fresh<SEndpointsInfoLib>(); return f.GetEndpointsInfo("ns", "ep", o, 0); },
       {"GET /api/v1/namespaces/ns/endpoints/ep"}},
      {"CreateDeploymentConfig", [](auto& f) { auto r = Fresh<SDeploymentConfigInfoLib>(); return f.CreateDeploymentConfig("ns", r); },
       {"POST " + dcs}},
      {"UpdateDeploymentConfig", [](auto& f) { auto r = Fresh<SDeploymentConfigInfoLib>(); auto c = r; return f.UpdateDeploymentConfig("ns", "dc", r, c); },
       {"PUT " + dcs + "/dc"}},
      // An empty object reports 0 available replicas: the wait ends after one read.
      {"ScaleDeploymentConfig", [](auto& f) { auto r = Fresh<SScaleInfoLib>(); return f.ScaleDeploymentConfig("ns", "dc", r); },
       {"PUT " + dcs + "/dc/scale", "GET " + dcs + "/dc"}},
      {"DeleteDeploymentConfig", [](auto& f) { auto r = Fresh<SDeleteOptionsInfoLib>(); return f.DeleteDeploymentConfig("ns", "dc", r); },
       {"DELETE " + dcs + "/dc"}},
      // An empty object has no phase, so the claim is not "Pending".
      {"CreatePersistentVolumeClaim", [](auto& f) { auto r = Fresh<SPersistentVolumeClaimInfoLib>(); r.metadata.name = "pvc"; return f.CreatePersistentVolumeClaim("ns", r); },
       {"POST " + claims, "GET " + claims + "/pvc"}},
      {"UpdatePersistentVolumeClaim", [](auto& f) { auto r = Fresh<SPersistentVolumeClaimInfoLib>(); return f.UpdatePersistentVolumeClaim("ns", "pvc", r); },
       {"PUT " + claims + "/pvc"}},
      {"DeletePersistentVolumeClaim", [](auto& f) { auto r = Fresh<SDeleteOptionsInfoLib>(); return f.DeletePersistentVolumeClaim("ns", "pvc", r); },
       {"DELETE " + claims + "/pvc"}},
      {"CreatePersistentVolume", [](auto& f) { auto r = Fresh<SPersistentVolumeInfoLib>(); return f.CreatePersistentVolume(r); },
       {"POST /api/v1/persistentvolumes"}},
      {"UpdatePersistentVolume", [](auto& f) { auto r = Fresh<SPersistentVolumeInfoLib>(); return f.UpdatePersistentVolume("pv", r); },
       {"PUT /api/v1/persistentvolumes/pv"}},
      {"DeletePersistentVolume", [](auto& f) { auto r = Fresh<SDeleteOptionsInfoLib>(); return f.DeletePersistentVolume("pv", r); },
       {"DELETE /api/v1/persistentvolumes/pv"}},
      {"CreateEndpoints", [](auto& f) { auto r = Fresh<SEndpointsInfoLib>(); return f.CreateEndpoints("ns", r); },
       {"POST /api/v1/namespaces/ns/endpoints"}},
      {"UpdateEndpoints", [](auto& f) { auto r = Fresh<SEndpointsInfoLib>(); return f.UpdateEndpoints("ns", "ep", r); },
       {"PUT /api/v1/namespaces/ns/endpoints/ep"}},
      {"DeleteEndpoints", [](auto& f) { auto r = Fresh<SDeleteOptionsInfoLib>(); return f.DeleteEndpoints("ns", "ep", r); },
       {"DELETE /api/v1/namespaces/ns/endpoints/ep"}},
      {"CreateOrUpdateSecret", [](auto& f) { return f.CreateOrUpdateSecret("ns", "s", "{\"metadata\":{\"name\":\"s\"}}"); },
       {"GET /api/v1/namespaces/ns/secrets/s", "PUT /api/v1/namespaces/ns/secrets/s"}},
      {"CreateOrUpdateConfigMap", [](auto& f) { return f.CreateOrUpdateConfigMap("ns", "c", "{\"metadata\":{\"name\":\"c\"}}"); },
       {"GET /api/v1/namespaces/ns/configmaps/c", "PUT /api/v1/namespaces/ns/configmaps/c"}},
  };
}

class PassThroughTest : public RestTest, public ::testing::WithParamInterface<PassThroughRow> {
 protected:
  void Answer(int status) {
    server_.SetDefaultHandler([status](const wqsim::RecordedRequest&, wqsim::Reply& reply) {
      reply.status = status;
      reply.body = "{}";
      return true;
    });
  }
  bool LoginFacade() {
    const bool ok = facade_.ConnectServiceAccount(server_.BaseUrl(), "backup", kToken, {});
    server_.ClearRequests();
    lines_.clear();
    return ok;
  }
  WQOpenShiftSDKWrapper facade_;
};

TEST_P(PassThroughTest, ForwardsRequestAndSuccess) {
  Answer(200);
  ASSERT_TRUE(LoginFacade());
  EXPECT_TRUE(GetParam().call(facade_));
  EXPECT_EQ(Sent(), GetParam().sent);
}

// A refused first request: the inner object's false comes back, and nothing follows it.
TEST_P(PassThroughTest, ForwardsFailure) {
  Answer(403);
  ASSERT_TRUE(LoginFacade());
  EXPECT_FALSE(GetParam().call(facade_));
  const std::vector<std::string> sent = Sent();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0], GetParam().sent[0]);
  for (const LogLine& line : lines_) {
    EXPECT_EQ(line.context.find("WQOpenShiftSDKWrapper"), std::string::npos) << line.context;
  }
}

INSTANTIATE_TEST_SUITE_P(Members, PassThroughTest, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<PassThroughRow>& info) { return info.param.label; });

}  // namespace
}  // namespace resttest
