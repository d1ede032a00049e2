#include "tools/wqosctl/embedded.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/process.h"
#include "host/uniqueFd.h"
#include "tools/wqosctl/commandLine.h"
#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/sampleApp.h"

namespace wqosctl {

using namespace OpenShiftSDKWrapper;
namespace fs = std::filesystem;

namespace {

const char* const kSandboxedVariable = "WQOSCTL_SANDBOXED";
const int kSandboxNodes = 3;
const char* const kBuiltInUser = "operator";

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string SelfPath() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
  return length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string();
}

// The folder the tool's companions are installed under: the nearest of the program's own
// folder and its parents that holds libexec/wqosdk (the installation prefix, or the build
// tree, which mirrors the installed layout), else the parent of the program's folder (the
// prefix of bin/wqosctl). Nothing is compiled in, so the installed tree can be moved.
std::string InstallRoot() {
  const fs::path bin = fs::path(SelfPath()).parent_path();
  std::error_code code;
  for (fs::path dir = bin; !dir.empty(); dir = dir.parent_path()) {
    if (fs::is_directory(dir / "libexec" / "wqosdk", code)) return dir.string();
    if (dir == dir.root_path()) break;
  }
  return bin.parent_path().string();
}

// A companion file: the variable `override` when set, else `relative` under the folder above.
std::string CompanionFile(const char* override, const std::string& relative) {
  const std::string configured = Variable(override);
  if (!configured.empty()) return configured;
  return InstallRoot() + "/" + relative;
}

std::string ClientProgram() {
  return CompanionFile("WQOSCTL_CLI", "libexec/wqosdk/wqOpenShiftCLI");
}

std::string RandomSecret() {
  unsigned char bytes[18];
  const UniqueFd random(open("/dev/urandom", O_RDONLY | O_CLOEXEC));
  if (!random.IsOpen() ||
      read(random.Get(), bytes, sizeof bytes) != static_cast<ssize_t>(sizeof bytes)) {
    return std::string();
  }
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

std::string Quoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

bool Run(const std::string& command, std::string& error) {
  std::string out;
  std::string err;
  if (WqProcess::system(command, out, err, 0, false) == 0) return true;
  error = command + ": " + err + out;
  return false;
}

// GlusterFS volumes of provisioned claims are real volumes on the sandbox's nodes.
wqsim::StorageHook SandboxStorage(const std::string& provision) {
  return [provision](const std::string& action, const std::string& volume, std::string& error) {
    if (action == "create") return Run(Quoted(provision) + " " + Quoted(volume), error);
    const std::string gluster = "/usr/sbin/gluster --mode=script volume ";
    std::string ignored;
    Run(gluster + "stop " + Quoted(volume) + " force", ignored);
    return Run(gluster + "delete " + Quoted(volume), error);
  };
}

bool WriteText(const std::string& path, const std::string& text, std::string& error) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
  if (out.flush()) return true;
  error = "cannot write " + path;
  return false;
}

}  // namespace

bool InsideOwnSandbox() {
  return Variable(kSandboxedVariable) == "1" && !Variable("WQSANDBOX_DIR").empty();
}

int ReexecInSandbox(const std::vector<std::string>& args) {
  const std::string sandbox = CompanionFile("WQOSCTL_SANDBOX", "libexec/wqosdk/sandbox/wq-sandbox");
  if (geteuid() != 0) {
    PrintErr(
        "wqosctl: the built-in cluster needs root (its storage nodes run in Linux "
        "namespaces); give --server URL to use another cluster\n");
    return kExitFailed;
  }
  if (access(sandbox.c_str(), X_OK) != 0) {
    PrintErr("wqosctl: the storage-node sandbox " + sandbox +
             " is missing; set WQOSCTL_SANDBOX or give --server URL\n");
    return kExitFailed;
  }
  std::vector<std::string> words = {sandbox, "--nodes", std::to_string(kSandboxNodes), "--",
                                    SelfPath()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  setenv(kSandboxedVariable, "1", 1);
  std::fflush(nullptr);
  execv(sandbox.c_str(), argv.data());
  PrintErr("wqosctl: cannot run " + sandbox + "\n");
  return kExitFailed;
}

EmbeddedCluster::EmbeddedCluster() = default;

EmbeddedCluster::~EmbeddedCluster() {
  if (simulator_) simulator_->Stop();
}

bool EmbeddedCluster::Start(Credentials& credentials, std::string& error) {
  std::istringstream nodes(Variable("WQSANDBOX_NODES"));
  for (std::string node; nodes >> node;) nodes_.push_back(node);
  workDir_ = Variable("WQSANDBOX_DIR") + "/wqosctl-" + std::to_string(getpid());
  baseDir_ = workDir_ + "/base";
  std::error_code code;
  fs::create_directories(baseDir_, code);
  if (code || nodes_.empty()) {
    error = code ? "cannot create " + baseDir_ : "the sandbox lists no storage nodes";
    return false;
  }

  wqsim::Scenario scenario;
  const std::string sample = CompanionFile("WQOSCTL_SAMPLE", "share/wqosdk/sample-app.json");
  if (!wqsim::LoadScenarioFile(sample, scenario, error)) return false;
  scenario.settings.storageNodes = nodes_;
  scenario.settings.storageHook = SandboxStorage(Variable("WQSANDBOX_PROVISION"));
  if (!credentials.serviceAccount.empty()) {
    scenario.serviceAccountTokens.push_back(credentials.token);
  } else {
    if (credentials.user.empty()) {
      credentials.user = kBuiltInUser;
      credentials.password = RandomSecret();
      Redactor::Instance().Add(credentials.password);
    }
    scenario.users.emplace_back(credentials.user, credentials.password);
  }
  const std::string nodePassword = Variable("WQSANDBOX_PASSWORD");
  Redactor::Instance().Add(nodePassword);
  for (const std::string& node : nodes_) {
    if (credentials.nodes.count(node) != 0) continue;
    credentials.nodes[node] =
        credentials.hasNodeDefault
            ? credentials.nodeDefault
            : SSshLoginCreds{Variable("WQSANDBOX_USER"), nodePassword, "", ""};
  }

  simulator_.reset(new wqsim::ClusterSimulator(std::move(scenario)));
  wqsim::ServerOptions options;
  options.signWithCa = true;
  if (!simulator_->Start(error, options)) return false;
  url_ = simulator_->BaseUrl();
  if (!InstallClient(error)) return false;
  PrintErr("wqosctl: built-in cluster at " + url_ + ", storage nodes " + Joined(nodes_) +
           ", sample application " + kSampleNamespace + "/" + kSampleDeploymentConfig + "\n");
  return true;
}

// The base directory the library finds the client in (dBASEHOME), with the cluster's CA,
// the nodes' host keys and the client's state naming where pods keep their files.
bool EmbeddedCluster::InstallClient(std::string& error) {
  const std::string client = baseDir_ + "/wqOpenShiftCLI";
  std::error_code code;
  fs::copy_file(ClientProgram(), client, fs::copy_options::overwrite_existing, code);
  if (code) {
    error = "cannot install the command-line client " + ClientProgram() + ": " + code.message();
    return false;
  }
  fs::permissions(client, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
                  code);
  if (!simulator_->Server().WriteTrustPem(baseDir_ + "/openshift-ca.crt")) {
    error = "cannot write the cluster's CA certificate";
    return false;
  }
  const std::string knownHosts =
      fs::path(Variable("WQSANDBOX_SSH_CONFIG")).parent_path().string() + "/known_hosts";
  fs::copy_file(knownHosts, baseDir_ + "/known_hosts", fs::copy_options::overwrite_existing, code);
  if (code) {
    error = "cannot copy the nodes' host keys " + knownHosts + ": " + code.message();
    return false;
  }
  fs::create_directories(PodsDir(), code);
  if (!WriteText(baseDir_ + "/wqOpenShiftCLI.state", "podsDir=" + PodsDir() + "\n", error)) {
    return false;
  }
  setenv("dBASEHOME", baseDir_.c_str(), 1);
  return true;
}

std::string EmbeddedCluster::GlusterVolumeOf(WQOpenShiftSDKWrapper& sdk,
                                             const std::string& nameSpace,
                                             const std::string& claim) {
  SPersistentVolumeClaimInfoLib record;
  SPersistentVolumeInfoLib volume;
  if (!sdk.GetPersistentVolumeClaimInfo(nameSpace, claim, record, 0) ||
      !sdk.GetPersistentVolumeInfo(record.spec.volumeName, volume, 0)) {
    return std::string();
  }
  return volume.spec.glusterfs.path;
}

bool EmbeddedCluster::MountVolume(const std::string& volume, const std::string& dir,
                                  std::string& error) {
  std::error_code code;
  fs::create_directories(dir, code);
  return Run(Quoted(Variable("WQSANDBOX_VOLUME")) + " mount " + Quoted(volume) + " " + Quoted(dir),
             error);
}

bool EmbeddedCluster::UnmountVolume(const std::string& dir, std::string& error) {
  return Run(Quoted(Variable("WQSANDBOX_VOLUME")) + " umount " + Quoted(dir), error);
}

bool EmbeddedCluster::SeedFiles(WQOpenShiftSDKWrapper& sdk, std::string& error) {
  for (const std::string& claim : SampleClaims()) {
    const std::string volume = GlusterVolumeOf(sdk, kSampleNamespace, claim);
    if (volume.empty()) {
      error = "the sample claim " + claim + " has no GlusterFS volume";
      return false;
    }
    const std::string dir = workDir_ + "/seed/" + claim;
    if (!MountVolume(volume, dir, error)) return false;
    const bool written = WriteSampleFiles(claim, dir, error);
    std::string unmountError;
    if (!UnmountVolume(dir, unmountError) && written) {
      error = unmountError;
      return false;
    }
    if (!written) return false;
  }
  return true;
}

}  // namespace wqosctl
