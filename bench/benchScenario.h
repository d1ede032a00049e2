#pragma once
// The scenario of the simulated cluster that the backup benchmarks run against.
#include <sstream>
#include <string>

// A project "bench" with a GlusterFS storage class and a deployment config "app" (no pods)
// using `claims` claims data-0.. of 1Gi; `token` is the service account's token.
inline std::string BenchScenarioText(const std::string& token, int claims) {
  std::ostringstream text;
  text << R"({"serviceAccountTokens": [")" << token << R"("], "projects": ["bench"],
    "storageClasses": [{"metadata": {"name": "glusterfs-storage"},
                        "provisioner": "kubernetes.io/glusterfs"}],
    "persistentVolumeClaims": [)";
  for (int i = 0; i < claims; ++i) {
    text << (i ? "," : "") << R"({"metadata": {"name": "data-)" << i
         << R"(", "namespace": "bench"}, "spec": {"accessModes": ["ReadWriteOnce"],
            "resources": {"requests": {"storage": "1Gi"}}, "storageClassName": "glusterfs-storage"}})";
  }
  text << R"(], "deploymentConfigs": [{"metadata": {"name": "app", "namespace": "bench"},
      "spec": {"replicas": 0, "template": {"spec": {"volumes": [)";
  for (int i = 0; i < claims; ++i) {
    text << (i ? "," : "") << R"({"name": "v)" << i
         << R"(", "persistentVolumeClaim": {"claimName": "data-)" << i << R"("}})";
  }
  text << R"(], "containers": [{"name": "c", "image": "i"}]}}}}]})";
  return text.str();
}
