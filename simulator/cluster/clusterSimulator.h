#pragma once
// A simulated OpenShift 3.11 cluster over HTTPS: the scripted test server answers the OAuth
// endpoint and checks bearer tokens, and every request no script covers is served from the
// simulated cluster's store. Scripts keep priority, so a test can still make any method and
// path fail; the Inject helpers script the usual faults.
#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "simulator/cluster/clusterApi.h"
#include "simulator/cluster/scenario.h"
#include "simulator/testServer.h"

namespace wqsim {

class ClusterSimulator {
 public:
  explicit ClusterSimulator(Scenario scenario = Scenario());
  ~ClusterSimulator();  // stops serving; removes a data directory it made itself
  ClusterSimulator(const ClusterSimulator&) = delete;
  ClusterSimulator& operator=(const ClusterSimulator&) = delete;

  // Creates the scenario's objects, then serves on 127.0.0.1 (any free port unless
  // `options.port` is set). On false `error` says why.
  bool Start(std::string& error, const ServerOptions& options = ServerOptions());
  void Stop();

  int Port() const { return server_.Port(); }
  std::string BaseUrl() const { return server_.BaseUrl(); }
  TestServer& Server() { return server_; }
  ClusterApi& Api() { return *api_; }
  // Where the default storage hook keeps its volume directories.
  const std::string& DataDir() const { return dataDir_; }

  // Faults for the next `times` requests of `method` on `path` (-1: all of them).
  // A Status body with the reason the server gives `status`.
  void InjectStatus(const std::string& method, const std::string& path, int status, int times = 1);
  // 200 with the bare text "Unauthorized" as body.
  void InjectUnauthorizedBody(const std::string& method, const std::string& path, int times = 1);
  // 200 with a body that is not JSON.
  void InjectNonJsonBody(const std::string& method, const std::string& path, int times = 1);
  // The connection closes without an answer.
  void InjectDrop(const std::string& method, const std::string& path, int times = 1);
  // The cluster acts on the request, but only the first half of its answer is sent.
  void InjectTruncatedBody(const std::string& method, const std::string& path, int times = 1);
  // The cluster acts on the request and answers after `delay`.
  void InjectDelay(const std::string& method, const std::string& path,
                   std::chrono::milliseconds delay, int times = 1);

 private:
  struct LiveFault {
    std::string method;
    std::string path;
    bool truncate = false;
    std::chrono::milliseconds delay{0};
    int times = 1;
  };
  bool Handle(const RecordedRequest& request, Reply& reply);
  bool TakeFault(const RecordedRequest& request, LiveFault& fault);

  Scenario scenario_;
  std::string dataDir_;
  bool ownDataDir_ = false;
  bool seeded_ = false;
  std::unique_ptr<ClusterApi> api_;
  std::mutex faultMutex_;
  std::condition_variable stopping_;
  bool stopRequested_ = false;
  std::list<LiveFault> faults_;
  TestServer server_;  // last: stopped first, while the rest is still there for its threads
};

}  // namespace wqsim
