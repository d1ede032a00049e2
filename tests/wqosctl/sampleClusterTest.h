#pragma once
// A fixture base for the programs' tests: the simulator's sample cluster (project "demo",
// deployment config "web" with two running pods and a deployer pod), served in process for
// the whole suite, with the user "alice" and a service-account token whose secrets are
// unique to the run.
#include <gtest/gtest.h>

#include "simulator/cluster/clusterSimulator.h"
#include "tests/testing/programRunner.h"
#include "tests/testing/testSupport.h"

namespace wqtest {

class SampleClusterTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    wqsim::Scenario scenario;
    std::string error;
    ASSERT_TRUE(wqsim::LoadScenarioFile(WQSIM_SAMPLE_SCENARIO, scenario, error)) << error;
    scenario.users.emplace_back("alice", Password());
    scenario.serviceAccountTokens.push_back(Token());
    simulator = new wqsim::ClusterSimulator(std::move(scenario));
    ASSERT_TRUE(simulator->Start(error)) << error;
  }
  static void TearDownTestSuite() {
    delete simulator;
    simulator = nullptr;
  }
  static const std::string& Password() {
    static const std::string secret = UniqueSecret("password");
    return secret;
  }
  static const std::string& Token() {
    static const std::string secret = UniqueSecret("token") + "-long-enough-token";
    return secret;
  }
  // Requests that could have changed the cluster since the last call.
  static std::vector<std::string> Mutations() {
    std::vector<std::string> changes;
    for (const wqsim::RecordedRequest& request : simulator->Server().Requests()) {
      if (request.method != "GET") changes.push_back(request.method + " " + request.path);
    }
    simulator->Server().ClearRequests();
    return changes;
  }

  static wqsim::ClusterSimulator* simulator;
};

inline wqsim::ClusterSimulator* SampleClusterTest::simulator = nullptr;

}  // namespace wqtest
