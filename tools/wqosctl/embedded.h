#pragma once
// The built-in cluster: when no --server is given, wqosctl runs itself again inside the
// storage-node sandbox (real sshd and glusterd nodes), starts the simulated cluster API in
// process with GlusterFS volumes provisioned on those nodes, installs the command-line
// client in a base directory, seeds the sample application and its files, runs the command
// against all that, and everything goes when the command ends.
#include <memory>
#include <string>
#include <vector>

#include "simulator/cluster/clusterSimulator.h"
#include "tools/wqosctl/commandLine.h"
#include "tools/wqosctl/secrets.h"
#include "wrapper/openshiftWrapper.h"

namespace wqosctl {

// True inside the sandbox that wqosctl started for itself.
bool InsideOwnSandbox();
// Runs this program again with `args` inside the sandbox; returns only when that cannot be
// done (with the exit code to use). Secrets stay where they are (environment, files): the
// arguments hold none.
int ReexecInSandbox(const std::vector<std::string>& args);

class EmbeddedCluster {
 public:
  EmbeddedCluster();
  ~EmbeddedCluster();
  EmbeddedCluster(const EmbeddedCluster&) = delete;
  EmbeddedCluster& operator=(const EmbeddedCluster&) = delete;

  // Starts the cluster API with the sample application. The login of `credentials` is
  // accepted by it; without one, a user with a fresh random password is made and put into
  // `credentials`. Nodes without credentials get the sandbox's.
  bool Start(Credentials& credentials, std::string& error);
  // Writes the sample files into the sample claims' volumes (after the login).
  bool SeedFiles(OpenShiftSDKWrapper::WQOpenShiftSDKWrapper& sdk, std::string& error);

  const std::string& Url() const { return url_; }
  const std::vector<std::string>& Nodes() const { return nodes_; }
  // A directory of this run inside the sandbox's state directory.
  const std::string& WorkDir() const { return workDir_; }
  // Where the command-line client keeps the files of pod POD: PodsDir()/NAMESPACE/POD.
  std::string PodsDir() const { return workDir_ + "/pods"; }
  wqsim::ClusterApi& Api() { return simulator_->Api(); }
  wqsim::ClusterSimulator& Simulator() { return *simulator_; }

  // The live GlusterFS volume mounted with the sandbox's FUSE client, and unmounted.
  bool MountVolume(const std::string& volume, const std::string& dir, std::string& error);
  bool UnmountVolume(const std::string& dir, std::string& error);
  // The GlusterFS volume behind a claim; empty when the claim has none.
  static std::string GlusterVolumeOf(OpenShiftSDKWrapper::WQOpenShiftSDKWrapper& sdk,
                                     const std::string& nameSpace, const std::string& claim);

 private:
  bool InstallClient(std::string& error);

  std::unique_ptr<wqsim::ClusterSimulator> simulator_;
  std::string url_;
  std::vector<std::string> nodes_;
  std::string workDir_;
  std::string baseDir_;
};

}  // namespace wqosctl
