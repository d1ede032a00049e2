#pragma once
// The built-in cluster of wqosctl for a test suite inside the storage-node sandbox: started
// once, with quick sleeps and the library's log quiet, its sample files seeded, and a session
// logged in to it; and what its tests ask of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/embedded.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/sampleApp.h"
#include "tools/wqosctl/session.h"

namespace wqtest {

// Starts the cluster with `credentials` (the cluster fills in what is empty) and opens
// `session` to it; on a failure `error` says why and the test suite's SetUp skips.
inline bool StartBuiltInCluster(wqosctl::Credentials& credentials,
                                wqosctl::EmbeddedCluster*& cluster, wqosctl::Session*& session,
                                std::string& error) {
  setenv("WQOSDK_SLEEP_SCALE", "0.001", 1);
  wqosctl::LibraryLog::Install(false, std::string());
  cluster = new wqosctl::EmbeddedCluster();
  if (!cluster->Start(credentials, error)) return false;
  session = new wqosctl::Session(cluster->Url(), credentials);
  if (session->Open(error) && cluster->SeedFiles(session->Sdk(), error)) return true;
  delete session;
  session = nullptr;
  return false;
}

inline void StopBuiltInCluster(wqosctl::EmbeddedCluster*& cluster, wqosctl::Session*& session) {
  delete session;
  delete cluster;
  session = nullptr;
  cluster = nullptr;
}

// A test suite sharing one built-in cluster; its tests skip when the cluster did not start.
class BuiltInClusterSuite : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    wqosctl::Credentials credentials;
    std::string error;
    ASSERT_TRUE(StartBuiltInCluster(credentials, cluster, session, error)) << error;
  }
  static void TearDownTestSuite() { StopBuiltInCluster(cluster, session); }
  void SetUp() override {
    if (session == nullptr) GTEST_SKIP() << "the built-in cluster did not start";
  }

  // A wqosctl command run in this process on the cluster, in the sample's project unless the
  // invocation names one.
  static int RunTool(wqosctl::Invocation invocation) {
    if (invocation.nameSpace.empty()) invocation.nameSpace = wqosctl::kSampleNamespace;
    wqosctl::Context context{invocation, *session, cluster};
    return wqosctl::RunCommand(context);
  }
  static wqosctl::Manifest ManifestIn(const std::string& dir) {
    wqosctl::Manifest manifest;
    std::string error;
    EXPECT_TRUE(wqosctl::ReadManifest(dir, manifest, error)) << error;
    return manifest;
  }
  // The GlusterFS volume of a claim of the sample's project, and its snapshots.
  static std::string VolumeOf(const std::string& claim) {
    return wqosctl::EmbeddedCluster::GlusterVolumeOf(session->Sdk(), wqosctl::kSampleNamespace,
                                                     claim);
  }
  static std::vector<std::string> SnapshotsOf(const std::string& claim) {
    std::vector<std::string> snapshots;
    EXPECT_TRUE(session->Sdk().GetGlusterVolumeSnapshotList(cluster->Nodes().front(),
                                                            VolumeOf(claim), snapshots));
    return snapshots;
  }
  // The claims of a deployment config's pod template, in its order.
  static std::vector<std::string> ClaimsOf(const std::string& deploymentConfig) {
    OpenShiftSDKWrapper::SDeploymentConfigInfoLib config;
    EXPECT_TRUE(session->Sdk().GetDeploymentConfigInfo(wqosctl::kSampleNamespace, deploymentConfig,
                                                       config, 0));
    std::vector<std::string> claims;
    for (const auto& volume : config.spec.templateSpec.spec.volumes) {
      if (volume.hasPersistentVolumeClaim) claims.push_back(volume.persistentVolumeClaim.claimName);
    }
    return claims;
  }

  static inline wqosctl::EmbeddedCluster* cluster = nullptr;
  static inline wqosctl::Session* session = nullptr;
};

}  // namespace wqtest
