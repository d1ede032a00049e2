#include "simulator/testServer.h"

#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_OPENSSL_SUPPORT
#endif
#include <arpa/inet.h>
#include <dirent.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <list>
#include <mutex>
#include <set>
#include <thread>

#include "simulator/testCertificates.h"

namespace wqsim {

const char* const kUnauthorizedStatusBody =
    "{\"kind\":\"Status\",\"apiVersion\":\"v1\",\"metadata\":{},\"status\":\"Failure\","
    "\"message\":\"Unauthorized\",\"reason\":\"Unauthorized\",\"code\":401}\n";

namespace {

const char* const kNotFoundStatusBody =
    "{\"kind\":\"Status\",\"apiVersion\":\"v1\",\"metadata\":{},\"status\":\"Failure\","
    "\"message\":\"the server could not find the requested resource\",\"reason\":\"NotFound\","
    "\"details\":{},\"code\":404}\n";
const char* const kCsrfRequired =
    "A non-empty X-CSRF-Token header is required to receive basic-auth challenges";
const char* const kAuthorizePath = "/oauth/authorize";
const size_t kTokenLength = 43;
// Long enough that a client pausing between requests (SSH work between two REST calls of a
// backup) finds its connection still open, as against a real API server.
const int kKeepAliveSeconds = 60;
const size_t kKeepAliveRequests = 100000;

// A worker serving a kept-alive connection only looks at the server's state between two
// requests, so an idle client would hold Stop for the whole keep-alive time. Shutting the
// accepted sockets down (connected, with the server's port as their own) wakes them at once.
void ShutDownAcceptedSockets(int port) {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return;
  const int own = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const int fd = std::atoi(entry->d_name);
    struct stat status {};
    if (fd == own || fstat(fd, &status) != 0 || !S_ISSOCK(status.st_mode)) continue;
    sockaddr_in local{};
    sockaddr_in peer{};
    socklen_t localSize = sizeof(local);
    socklen_t peerSize = sizeof(peer);
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
        local.sin_family != AF_INET || ntohs(local.sin_port) != port ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
      continue;
    }
    shutdown(fd, SHUT_RDWR);
  }
  closedir(dir);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

// httplib adds the peer's and its own address to the headers; they were never sent.
bool IsPseudoHeader(const std::string& name) {
  return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
         name == "LOCAL_PORT";
}

std::string DecodeBase64(const std::string& text) {
  static const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned int buffer = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    size_t value = alphabet.find(c);
    if (value == std::string::npos) return std::string();
    buffer = (buffer << 6) | static_cast<unsigned int>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((buffer >> bits) & 0xff));
    }
  }
  return out;
}

// 43 characters of the URL-safe base64 alphabet, like the cluster's OAuth tokens.
std::string NewToken() {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  unsigned char random[kTokenLength];
  if (RAND_bytes(random, sizeof(random)) != 1) return std::string();
  std::string token;
  for (unsigned char byte : random) token.push_back(alphabet[byte % 64]);
  return token;
}

RecordedRequest Record(const httplib::Request& request) {
  RecordedRequest record;
  record.method = request.method;
  record.target = request.target;
  record.path = request.path;
  record.body = request.body;
  record.remotePort = request.remote_port;
  for (const auto& header : request.headers) {
    if (!IsPseudoHeader(header.first)) record.headers.emplace_back(header.first, header.second);
  }
  return record;
}

void Apply(const Reply& reply, httplib::Response& response) {
  response.status = reply.status;
  for (const auto& header : reply.headers) response.set_header(header.first, header.second);
  if (!reply.body.empty()) response.set_content(reply.body, reply.contentType.c_str());
}

struct ScriptEntry {
  std::string method;
  std::string path;
  ScriptedAnswer answer;
};

}  // namespace

bool RecordedRequest::HasHeader(const std::string& name) const {
  return std::any_of(headers.begin(), headers.end(),
                     [&](const auto& header) { return SameName(header.first, name); });
}

std::string RecordedRequest::Header(const std::string& name) const {
  for (const auto& header : headers) {
    if (SameName(header.first, name)) return header.second;
  }
  return std::string();
}

ScriptedAnswer ScriptedAnswer::Json(int status, std::string body) {
  ScriptedAnswer answer;
  answer.reply.status = status;
  answer.reply.body = std::move(body);
  return answer;
}

ScriptedAnswer ScriptedAnswer::Text(int status, std::string body) {
  ScriptedAnswer answer = Json(status, std::move(body));
  answer.reply.contentType = "text/plain; charset=utf-8";
  return answer;
}

ScriptedAnswer ScriptedAnswer::UnauthorizedBody(int status) { return Text(status, "Unauthorized"); }

ScriptedAnswer ScriptedAnswer::NoBody(int status) { return Json(status, std::string()); }

ScriptedAnswer ScriptedAnswer::Drop() {
  ScriptedAnswer answer;
  answer.dropConnection = true;
  return answer;
}

ScriptedAnswer& ScriptedAnswer::Times(int count) {
  times = count;
  return *this;
}

ScriptedAnswer& ScriptedAnswer::After(std::chrono::milliseconds wait) {
  delay = wait;
  return *this;
}

ScriptedAnswer& ScriptedAnswer::WithHeader(const std::string& name, const std::string& value) {
  reply.headers.emplace_back(name, value);
  return *this;
}

struct TestServer::Impl {
  std::unique_ptr<httplib::SSLServer> server;
  std::thread thread;
  int port = -1;
  std::string trustPem;

  mutable std::mutex mutex;
  std::condition_variable stopping;
  bool stopRequested = false;
  std::vector<std::pair<std::string, std::string>> users;
  std::set<std::string> serviceAccountTokens;
  std::vector<std::string> issuedTokens;
  bool requireBearer = true;
  std::list<ScriptEntry> scripts;
  DefaultHandler defaultHandler;
  std::vector<RecordedRequest> requests;

  std::string BaseUrl() const { return "https://127.0.0.1:" + std::to_string(port); }
  void Handle(const httplib::Request& request, httplib::Response& response);
  bool TakeScript(const RecordedRequest& record, ScriptedAnswer& answer);
  void Play(const ScriptedAnswer& answer, const httplib::Request& request,
            httplib::Response& response);
  void Authorize(const RecordedRequest& record, const httplib::Request& request,
                 httplib::Response& response);
  bool BearerAccepted(const RecordedRequest& record);
};

bool TestServer::Impl::TakeScript(const RecordedRequest& record, ScriptedAnswer& answer) {
  std::lock_guard<std::mutex> lock(mutex);
  for (auto entry = scripts.begin(); entry != scripts.end(); ++entry) {
    const std::string& against =
        entry->path.find('?') != std::string::npos ? record.target : record.path;
    if (entry->method != record.method || entry->path != against) continue;
    answer = entry->answer;
    if (entry->answer.times > 0 && --entry->answer.times == 0) scripts.erase(entry);
    return true;
  }
  return false;
}

void TestServer::Impl::Play(const ScriptedAnswer& answer, const httplib::Request& request,
                            httplib::Response& response) {
  if (answer.delay.count() > 0) {
    // A stop cuts the wait short, so a test never waits for a delay it has given up on.
    std::unique_lock<std::mutex> lock(mutex);
    stopping.wait_for(lock, answer.delay, [this] { return stopRequested; });
  }
  if (answer.dropConnection) {
    // Shutting the socket down makes the write of any answer fail, so the client sees
    // the connection end without a response.
    if (request.ssl != nullptr) shutdown(SSL_get_fd(request.ssl), SHUT_RDWR);
    response.status = 500;
    return;
  }
  Apply(answer.reply, response);
}

void TestServer::Impl::Authorize(const RecordedRequest& record, const httplib::Request& request,
                                 httplib::Response& response) {
  if (record.Header("X-CSRF-Token").empty()) {
    response.status = 401;
    response.set_header("Warning", std::string("199 Origin \"") + kCsrfRequired + "\"");
    response.set_content(std::string(kCsrfRequired) + "\n", "text/plain; charset=utf-8");
    return;
  }
  if (request.get_param_value("client_id") != "openshift-challenging-client" ||
      request.get_param_value("response_type") != "token") {
    response.status = 400;
    response.set_content("invalid client_id or response_type\n", "text/plain; charset=utf-8");
    return;
  }
  const std::string authorization = record.Header("Authorization");
  const std::string basic = "Basic ";
  std::string credentials;
  if (authorization.compare(0, basic.size(), basic) == 0) {
    credentials = DecodeBase64(authorization.substr(basic.size()));
  }
  std::string token;
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& account : users) {
      if (credentials == account.first + ":" + account.second) {
        token = NewToken();
        issuedTokens.push_back(token);
        break;
      }
    }
  }
  if (token.empty()) {
    response.status = 401;
    response.set_header("Www-Authenticate", "Basic realm=\"openshift\"");
    return;
  }
  response.status = 302;
  response.set_header("Location", BaseUrl() + "/oauth/token/implicit#access_token=" + token +
                                      "&expires_in=86400&scope=user%3Afull&token_type=Bearer");
}

bool TestServer::Impl::BearerAccepted(const RecordedRequest& record) {
  const std::string authorization = record.Header("Authorization");
  const std::string bearer = "Bearer ";
  std::lock_guard<std::mutex> lock(mutex);
  if (!requireBearer) return true;
  if (authorization.compare(0, bearer.size(), bearer) != 0) return false;
  const std::string token = authorization.substr(bearer.size());
  return !token.empty() &&
         (serviceAccountTokens.count(token) > 0 ||
          std::find(issuedTokens.begin(), issuedTokens.end(), token) != issuedTokens.end());
}

void TestServer::Impl::Handle(const httplib::Request& request, httplib::Response& response) {
  const RecordedRequest record = Record(request);
  DefaultHandler fallback;
  {
    std::lock_guard<std::mutex> lock(mutex);
    requests.push_back(record);
    fallback = defaultHandler;
  }
  ScriptedAnswer answer;
  const bool oauth = record.path.compare(0, 7, "/oauth/") == 0;
  if (!oauth && !BearerAccepted(record)) {
    response.status = 401;
    response.set_content(kUnauthorizedStatusBody, "application/json");
  } else if (TakeScript(record, answer)) {
    Play(answer, request, response);
  } else if (record.path == kAuthorizePath && record.method == "GET") {
    Authorize(record, request, response);
  } else {
    Reply reply;
    if (fallback && fallback(record, reply)) {
      Apply(reply, response);
    } else {
      response.status = 404;
      response.set_content(kNotFoundStatusBody, "application/json");
    }
  }
}

TestServer::TestServer() : impl_(new Impl()) {}

TestServer::~TestServer() { Stop(); }

bool TestServer::Start(const ServerOptions& options) {
  if (impl_->server) return false;
  std::signal(SIGPIPE, SIG_IGN);

  CertifiedKey authority;
  CertifiedKey serverKey;
  std::string error;
  if (options.signWithCa && !MakeCertifiedKey("wqsim test CA", true, nullptr, authority, error)) {
    return false;
  }
  if (!MakeCertifiedKey("127.0.0.1", false, options.signWithCa ? &authority : nullptr, serverKey,
                        error)) {
    return false;
  }
  impl_->trustPem = CertificatePem(options.signWithCa ? authority.certificate.get()
                                                      : serverKey.certificate.get());

  // The server context takes its own references to the certificate and the key.
  impl_->server.reset(new httplib::SSLServer(serverKey.certificate.get(), serverKey.key.get()));
  httplib::SSLServer& server = *impl_->server;
  if (!server.is_valid()) {
    impl_->server.reset();
    return false;
  }
  server.set_keep_alive_max_count(kKeepAliveRequests);
  server.set_keep_alive_timeout(kKeepAliveSeconds);
  // Headers and body leave in separate writes; without this, delayed ACKs hold every
  // answer on a kept-alive connection back by ~40 ms.
  server.set_tcp_nodelay(true);
  // Every kept-alive connection holds a worker while it waits for its next request.
  server.new_task_queue = [] { return new httplib::ThreadPool(64); };
  Impl* impl = impl_.get();
  auto handler = [impl](const httplib::Request& request, httplib::Response& response) {
    impl->Handle(request, response);
  };
  const char* const everything = ".*";
  server.Get(everything, handler);
  server.Post(everything, handler);
  server.Put(everything, handler);
  server.Patch(everything, handler);
  server.Delete(everything, handler);
  server.Options(everything, handler);

  if (options.port > 0) {
    impl_->port = server.bind_to_port("127.0.0.1", options.port) ? options.port : -1;
  } else {
    impl_->port = server.bind_to_any_port("127.0.0.1");
  }
  if (impl_->port <= 0) {
    impl_->server.reset();
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->stopRequested = false;
  }
  impl_->thread = std::thread([impl] { impl->server->listen_after_bind(); });
  for (int i = 0; i < 500 && !server.is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return server.is_running();
}

void TestServer::Stop() {
  if (!impl_->server) return;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->stopRequested = true;
  }
  impl_->stopping.notify_all();
  impl_->server->stop();
  ShutDownAcceptedSockets(impl_->port);
  if (impl_->thread.joinable()) impl_->thread.join();
  impl_->server.reset();
}

int TestServer::Port() const { return impl_->port; }

std::string TestServer::BaseUrl() const { return impl_->BaseUrl(); }

std::string TestServer::TrustPem() const { return impl_->trustPem; }

bool TestServer::WriteTrustPem(const std::string& path) const {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << impl_->trustPem;
  file.close();
  return !file.fail();
}

void TestServer::AddUser(const std::string& user, const std::string& password) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->users.emplace_back(user, password);
}

void TestServer::AddServiceAccountToken(const std::string& token) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->serviceAccountTokens.insert(token);
}

std::vector<std::string> TestServer::IssuedTokens() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->issuedTokens;
}

void TestServer::SetRequireBearer(bool required) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->requireBearer = required;
}

void TestServer::Script(const std::string& method, const std::string& path, ScriptedAnswer answer) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->scripts.push_back(ScriptEntry{method, path, std::move(answer)});
}

void TestServer::ClearScripts() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->scripts.clear();
}

void TestServer::SetDefaultHandler(DefaultHandler handler) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->defaultHandler = std::move(handler);
}

std::vector<RecordedRequest> TestServer::Requests() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->requests;
}

size_t TestServer::CountRequests(const std::string& method, const std::string& path) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return static_cast<size_t>(std::count_if(
      impl_->requests.begin(), impl_->requests.end(),
      [&](const RecordedRequest& r) { return r.method == method && r.path == path; }));
}

void TestServer::ClearRequests() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->requests.clear();
}

}  // namespace wqsim
