#pragma once
// A scripted HTTPS server on 127.0.0.1 for tests: it plays the cluster's OAuth challenge
// endpoint and checks bearer tokens, answers each request from a per-test script (or a
// pluggable default handler), and records every request it receives.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace wqsim {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest {
  std::string method;
  std::string target;  // path with its query
  std::string path;    // path without the query
  HeaderList headers;  // as received, in the server's (name-sorted) order
  std::string body;
  int remotePort = -1;  // the client's port: requests on one connection share it

  bool HasHeader(const std::string& name) const;
  // Value of the first header of that name (case-insensitive); empty when absent.
  std::string Header(const std::string& name) const;
};

struct Reply {
  int status = 200;
  std::string body;  // empty: no body (Content-Length: 0)
  std::string contentType = "application/json";
  HeaderList headers;
};

// One scripted answer for a method and a path. A path holding '?' is compared with the
// whole request target, any other path with the request path alone.
struct ScriptedAnswer {
  Reply reply;
  std::chrono::milliseconds delay{0};  // wait before answering (or dropping)
  bool dropConnection = false;         // close the connection without answering
  int times = -1;                      // how many requests it answers; -1: all

  static ScriptedAnswer Json(int status, std::string body);
  static ScriptedAnswer Text(int status, std::string body);
  // A success status whose body is the bare text "Unauthorized".
  static ScriptedAnswer UnauthorizedBody(int status = 200);
  static ScriptedAnswer NoBody(int status);
  static ScriptedAnswer Drop();

  ScriptedAnswer& Times(int count);
  ScriptedAnswer& After(std::chrono::milliseconds wait);
  ScriptedAnswer& WithHeader(const std::string& name, const std::string& value);
};

// Answers a request no script covered; returns false to leave it unhandled (404).
// Runs on the server's worker threads, possibly several at once.
using DefaultHandler = std::function<bool(const RecordedRequest&, Reply&)>;

struct ServerOptions {
  // Sign the server certificate with a CA generated for this server instead of signing
  // it with its own key.
  bool signWithCa = false;
  // Listen on this port of 127.0.0.1; 0 picks a free one.
  int port = 0;
};

// The exact body of the API server's 401 for a missing, unknown or expired bearer token.
extern const char* const kUnauthorizedStatusBody;

class TestServer {
 public:
  TestServer();
  ~TestServer();  // stops the server
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // Generates the key and certificate, binds a free port and starts serving. Ignores
  // SIGPIPE for the whole process: a client that goes away mid-answer must not kill it.
  bool Start(const ServerOptions& options = ServerOptions());
  void Stop();
  int Port() const;
  std::string BaseUrl() const;  // "https://127.0.0.1:<port>"

  // PEM of the certificate a client must trust: the CA when there is one, otherwise the
  // server's own certificate.
  std::string TrustPem() const;
  bool WriteTrustPem(const std::string& path) const;

  // Accounts accepted by the OAuth endpoint, and tokens accepted as bearer tokens
  // besides the ones the OAuth endpoint has issued.
  void AddUser(const std::string& user, const std::string& password);
  void AddServiceAccountToken(const std::string& token);
  std::vector<std::string> IssuedTokens() const;
  // When off, requests outside the OAuth endpoint need no bearer token.
  void SetRequireBearer(bool required);

  // Answers are used in the order they were scripted for the same method and path.
  void Script(const std::string& method, const std::string& path, ScriptedAnswer answer);
  void ClearScripts();
  void SetDefaultHandler(DefaultHandler handler);

  std::vector<RecordedRequest> Requests() const;
  size_t CountRequests(const std::string& method, const std::string& path) const;
  void ClearRequests();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace wqsim
