// Pods and containers: what a written container, probe or environment source carries.
#include <gtest/gtest.h>

#include <string>

#include "parser/openshiftParser.h"
#include "tests/parser/workloadTestUtil.h"

namespace OpenShiftSDKWrapper {
namespace {

using json_spirit::mObject;
using namespace workload_test;

// ---- Writing containers -----------------------------------------------------------

TEST(ContainerWriting, EmptyContainerWritesOnlyItsAlwaysWrittenFlags) {
  SContainerInfoLib container;
  bool wrote = false;
  const mObject out = Written(container, &wrote);
  EXPECT_TRUE(wrote);
  EXPECT_JSON_EQ(R"({"securityContext": {"privileged": false, "runAsNonRoot": false,
                                          "readOnlyRootFilesystem": false},
                     "stdin": false, "stdinOnce": false, "tty": false})",
                 out);
}

TEST(ContainerWriting, PortsAndMountsWriteTheirNumbersAndFlagsAlways) {
  SContainerInfoLib container;
  container.name = "web";
  container.ports.resize(1);
  container.ports[0].containerPort = 8080;
  container.volumeMounts.resize(1);
  container.volumeMounts[0].name = "data";
  container.volumeMounts[0].mountPath = "/data";
  const mObject out = Written(container);
  ASSERT_EQ(1u, out.at("ports").get_array().size());
  EXPECT_EQ(Object(R"({"hostPort": 0, "containerPort": 8080})"),
            out.at("ports").get_array()[0].get_obj());
  EXPECT_EQ(Object(R"({"name": "data", "readOnly": false, "mountPath": "/data"})"),
            out.at("volumeMounts").get_array()[0].get_obj());
}

// ---- Probes and actions: the guards ---------------------------------------------------

struct ProbeCase {
  const char* name;
  const char* input;     // the probe as JSON
  const char* expected;  // what its writer sets; "" when it writes nothing
};

class ProbeWriting : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeWriting, WritesOnlyWithAUsableAction) {
  SProbeInfoLib probe = Read<SProbeInfoLib>(GetParam().input);
  bool wrote = false;
  const mObject out = Written(probe, &wrote);
  if (*GetParam().expected == '\0') {
    EXPECT_FALSE(wrote);
    EXPECT_TRUE(out.empty()) << workload_test::Text(out);
  } else {
    EXPECT_TRUE(wrote);
    EXPECT_JSON_EQ(GetParam().expected, out);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProbeWriting,
    ::testing::Values(
        ProbeCase{"TimingsWithoutAction", R"({"periodSeconds": 10, "timeoutSeconds": 1})", ""},
        ProbeCase{"ExecWithZeroDelay",
                  R"({"exec": {"command": ["true"]}, "initialDelaySeconds": 0})",
                  R"({"exec": {"command": ["true"]}, "initialDelaySeconds": 0})"},
        ProbeCase{"NegativeDelayLeftOut",
                  R"({"exec": {"command": ["true"]}, "initialDelaySeconds": -1})",
                  R"({"exec": {"command": ["true"]}})"},
        ProbeCase{"PositiveTimingsKept",
                  R"({"tcpSocket": {"port": 5432}, "initialDelaySeconds": 5, "timeoutSeconds": 1,
                      "periodSeconds": 10, "successThreshold": 1, "failureThreshold": 3})",
                  R"({"tcpSocket": {"port": 5432}, "initialDelaySeconds": 5, "timeoutSeconds": 1,
                      "periodSeconds": 10, "successThreshold": 1, "failureThreshold": 3})"},
        ProbeCase{"EmptyExecCommand", R"({"exec": {"command": []}, "periodSeconds": 10})", ""},
        ProbeCase{"HttpGetPortZero", R"({"httpGet": {"path": "/healthz", "port": 0}})", ""},
        ProbeCase{"HttpGetNegativePort", R"({"httpGet": {"path": "/healthz", "port": -80}})", ""},
        ProbeCase{"HttpGetPortTooHigh", R"({"httpGet": {"path": "/healthz", "port": 65536}})", ""},
        ProbeCase{"HttpGetNamedPortReadsAsZero",
                  R"({"httpGet": {"path": "/healthz", "port": "http"}})", ""},
        ProbeCase{"HttpGetPort8080",
                  R"({"httpGet": {"path": "/healthz", "port": 8080, "scheme": "HTTP",
                                  "httpHeaders": [{"name": "X-Probe", "value": "1"}]}})",
                  R"({"httpGet": {"path": "/healthz", "port": 8080, "scheme": "HTTP",
                                  "httpHeaders": [{"name": "X-Probe", "value": "1"}]},
                      "initialDelaySeconds": 0})"},
        ProbeCase{"TcpPortLowestValid", R"({"tcpSocket": {"port": 1}})",
                  R"({"tcpSocket": {"port": 1}, "initialDelaySeconds": 0})"},
        ProbeCase{"TcpPortHighestValid", R"({"tcpSocket": {"port": 65535}})",
                  R"({"tcpSocket": {"port": 65535}, "initialDelaySeconds": 0})"},
        ProbeCase{"TcpPortTooHigh", R"({"tcpSocket": {"port": 70000}})", ""}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

TEST(HandlerWriting, LifecycleKeepsOnlyHandlersWithAnAction) {
  SLifecycleInfoLib lifecycle;
  lifecycle.postStart.httpGet.port = 0;
  lifecycle.postStart.httpGet.path = "/start";
  lifecycle.preStop.exec.command = {"/bin/stop"};
  bool wrote = false;
  const mObject out = Written(lifecycle, &wrote);
  EXPECT_TRUE(wrote);
  EXPECT_JSON_EQ(R"({"preStop": {"exec": {"command": ["/bin/stop"]}}})", out);
}

// ---- Environment: selectors and presence flags ----------------------------------------

TEST(EnvWriting, SelectorsWithoutTheirRequiredMemberAreLeftOut) {
  SEnvVarInfoLib env;
  env.name = "PASSWORD";
  env.valueFrom.secretKeyRef.key = "password";             // no secret name
  env.valueFrom.configMapKeyRef.key = "mode";              // no config map name
  env.valueFrom.fieldRef.apiVersion = "v1";                // no field path
  env.valueFrom.resourceFieldRef.resource = "limits.cpu";  // no container name
  EXPECT_JSON_EQ(R"({"name": "PASSWORD"})", Written(env));

  env.valueFrom.secretKeyRef.name = "db";
  EXPECT_JSON_EQ(R"({"name": "PASSWORD",
                     "valueFrom": {"secretKeyRef": {"name": "db", "key": "password", "optional": false}}})",
                 Written(env));
}

TEST(EnvWriting, EnvFromReferencesFollowTheirPresenceFlags) {
  SEnvFromSourceInfoLib source =
      Read<SEnvFromSourceInfoLib>(R"({"prefix": "DB_", "configMapRef": {"name": "settings"}})");
  EXPECT_TRUE(source.hasConfigMapRef);
  EXPECT_FALSE(source.hasSecretRef);
  EXPECT_EQ("settings", source.configMapRef.name);

  // Filled in code but not flagged: not sent.
  source.secretRef.name = "credentials";
  EXPECT_JSON_EQ(R"({"prefix": "DB_", "configMapRef": {"name": "settings", "optional": false}})",
                 Written(source));
  source.hasSecretRef = true;
  EXPECT_TRUE(Has(Written(source), "secretRef"));

  // A second read without the member clears the flag but keeps the record.
  WQOpenShiftParser().Convert(Object(R"({"prefix": "X_"})"), source);
  EXPECT_FALSE(source.hasConfigMapRef);
  EXPECT_EQ("settings", source.configMapRef.name);
  EXPECT_FALSE(Has(Written(source), "configMapRef"));
}

// ---- Pod spec numbers ------------------------------------------------------------------

TEST(PodSpecWriting, GracePeriodAlwaysAndDeadlineOnlyWhenPositive) {
  SPodSpecInfoLib spec;
  mObject out = Written(spec);
  EXPECT_EQ(0, out.at("terminationGracePeriodSeconds").get_int64());
  EXPECT_FALSE(Has(out, "activeDeadlineSeconds"));
  EXPECT_EQ(false, out.at("automountServiceAccountToken").get_bool());
  EXPECT_TRUE(Has(out, "securityContext"));  // runAsNonRoot is always sent

  spec.activeDeadlineSeconds = -5;
  EXPECT_FALSE(Has(Written(spec), "activeDeadlineSeconds"));
  spec.activeDeadlineSeconds = 21600;
  spec.terminationGracePeriodSeconds = 30;
  out = Written(spec);
  EXPECT_EQ(21600, out.at("activeDeadlineSeconds").get_int64());
  EXPECT_EQ(30, out.at("terminationGracePeriodSeconds").get_int64());
}

TEST(PodSpecWriting, EveryListElementIsKeptEvenWhenItWroteNothing) {
  SPodSpecInfoLib spec;
  spec.volumes.resize(2);
  spec.volumes[1].name = "data";
  spec.imagePullSecrets.resize(1);
  const mObject out = Written(spec);
  ASSERT_EQ(2u, out.at("volumes").get_array().size());
  EXPECT_TRUE(out.at("volumes").get_array()[0].get_obj().empty());
  EXPECT_EQ(1u, out.at("imagePullSecrets").get_array().size());
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
