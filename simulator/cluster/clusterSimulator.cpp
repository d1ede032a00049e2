#include "simulator/cluster/clusterSimulator.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace wqsim {

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The server indents its answers for "?pretty=true" and for clients that are plainly a
// person at a terminal or a browser.
bool WantsPretty(const RecordedRequest& request) {
  const size_t query = request.target.find('?');
  if (query != std::string::npos) {
    const std::string parameters = "&" + request.target.substr(query + 1) + "&";
    if (parameters.find("&pretty=true&") != std::string::npos ||
        parameters.find("&pretty=1&") != std::string::npos) {
      return true;
    }
  }
  const std::string agent = request.Header("User-Agent");
  return StartsWith(agent, "curl") || StartsWith(agent, "Wget") || StartsWith(agent, "Mozilla/5.0");
}

std::string MakeDataDir() {
  std::error_code code;
  const std::filesystem::path base = std::filesystem::temp_directory_path(code);
  const std::filesystem::path dir =
      (code ? std::filesystem::path("/tmp") : base) /
      ("wqsim-volumes-" + std::to_string(getpid()) + "-" + RandomHex(8));
  std::filesystem::create_directories(dir, code);
  return dir.string();
}

}  // namespace

ClusterSimulator::ClusterSimulator(Scenario scenario) : scenario_(std::move(scenario)) {
  ClusterSettings settings = scenario_.settings;
  if (!settings.storageHook) {
    if (!scenario_.storageCommand.empty()) {
      settings.storageHook = CommandStorageHook(scenario_.storageCommand);
    } else {
      dataDir_ = scenario_.dataDir;
      if (dataDir_.empty()) {
        dataDir_ = MakeDataDir();
        ownDataDir_ = true;
      }
      settings.storageHook = DirectoryStorageHook(dataDir_);
    }
  }
  api_.reset(new ClusterApi(settings));
}

ClusterSimulator::~ClusterSimulator() {
  Stop();
  if (ownDataDir_) {
    std::error_code ignored;
    std::filesystem::remove_all(dataDir_, ignored);
  }
}

bool ClusterSimulator::Start(std::string& error, const ServerOptions& options) {
  if (!seeded_) {
    for (const SeedObject& seed : scenario_.objects) {
      std::string status;
      if (!api_->Create(*seed.type, NamespaceOf(seed.object), seed.object, status)) {
        json::object parsed;
        std::string ignored;
        const std::string message =
            ParseObject(status, parsed, ignored) ? StringAt(parsed, "message") : status;
        error = std::string(seed.type->kind) + " \"" + NameOf(seed.object) + "\": " + message;
        return false;
      }
    }
    // A scenario describes a cluster at rest: nothing is left waiting for reads.
    api_->Settle();
    for (const auto& user : scenario_.users) server_.AddUser(user.first, user.second);
    for (const std::string& token : scenario_.serviceAccountTokens) {
      server_.AddServiceAccountToken(token);
    }
    seeded_ = true;
  }
  {
    std::lock_guard<std::mutex> lock(faultMutex_);
    stopRequested_ = false;
  }
  server_.SetDefaultHandler(
      [this](const RecordedRequest& request, Reply& reply) { return Handle(request, reply); });
  if (!server_.Start(options)) {
    error = options.port > 0 ? "cannot listen on 127.0.0.1:" + std::to_string(options.port)
                             : std::string("the HTTPS server could not start");
    return false;
  }
  return true;
}

void ClusterSimulator::Stop() {
  {
    std::lock_guard<std::mutex> lock(faultMutex_);
    stopRequested_ = true;
  }
  stopping_.notify_all();
  server_.Stop();
}

bool ClusterSimulator::Handle(const RecordedRequest& request, Reply& reply) {
  ApiRequest apiRequest{request.method, request.path, request.body, WantsPretty(request)};
  ApiAnswer answer;
  if (!api_->Serve(apiRequest, answer)) return false;
  reply.status = answer.status;
  reply.body = answer.body;
  LiveFault fault;
  if (TakeFault(request, fault)) {
    if (fault.truncate) reply.body.resize(reply.body.size() / 2);
    std::unique_lock<std::mutex> lock(faultMutex_);
    stopping_.wait_for(lock, fault.delay, [this] { return stopRequested_; });
  }
  return true;
}

bool ClusterSimulator::TakeFault(const RecordedRequest& request, LiveFault& fault) {
  std::lock_guard<std::mutex> lock(faultMutex_);
  for (auto entry = faults_.begin(); entry != faults_.end(); ++entry) {
    if (entry->method != request.method || entry->path != request.path) continue;
    fault = *entry;
    if (entry->times > 0 && --entry->times == 0) faults_.erase(entry);
    return true;
  }
  return false;
}

void ClusterSimulator::InjectStatus(const std::string& method, const std::string& path, int status,
                                    int times) {
  server_.Script(
      method, path,
      ScriptedAnswer::Json(status, StatusForCode(status, "injected failure")).Times(times));
}

void ClusterSimulator::InjectUnauthorizedBody(const std::string& method, const std::string& path,
                                              int times) {
  server_.Script(method, path, ScriptedAnswer::UnauthorizedBody().Times(times));
}

void ClusterSimulator::InjectNonJsonBody(const std::string& method, const std::string& path,
                                         int times) {
  server_.Script(
      method, path,
      ScriptedAnswer::Text(200, "<html><body>Service Unavailable</body></html>\n").Times(times));
}

void ClusterSimulator::InjectDrop(const std::string& method, const std::string& path, int times) {
  server_.Script(method, path, ScriptedAnswer::Drop().Times(times));
}

void ClusterSimulator::InjectTruncatedBody(const std::string& method, const std::string& path,
                                           int times) {
  std::lock_guard<std::mutex> lock(faultMutex_);
  faults_.push_back(LiveFault{method, path, true, std::chrono::milliseconds(0), times});
}

void ClusterSimulator::InjectDelay(const std::string& method, const std::string& path,
                                   std::chrono::milliseconds delay, int times) {
  std::lock_guard<std::mutex> lock(faultMutex_);
  faults_.push_back(LiveFault{method, path, false, delay, times});
}

}  // namespace wqsim
