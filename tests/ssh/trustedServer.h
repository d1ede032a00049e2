#pragma once
// The scripted HTTPS test server, accepting one service-account token, with the library
// trusting its certificate for as long as the object lives.
#include <memory>
#include <string>

#include "simulator/testServer.h"
#include "tests/host/hostTestUtil.h"

namespace sandboxtest {

class TrustedServer {
 public:
  explicit TrustedServer(std::string token) : token_(std::move(token)) {}

  bool Start() {
    server_.AddServiceAccountToken(token_);
    const std::string trust = dir_.path() + "/trust.pem";
    if (dir_.path().empty() || !server_.Start() || !server_.WriteTrustPem(trust)) return false;
    caFile_ = std::make_unique<hosttest::ScopedEnv>("WQOSDK_CA_FILE", trust.c_str());
    return true;
  }

  const std::string& token() const { return token_; }
  wqsim::TestServer* operator->() { return &server_; }

 private:
  std::string token_;
  hosttest::TempDir dir_;
  std::unique_ptr<hosttest::ScopedEnv> caFile_;
  wqsim::TestServer server_;
};

}  // namespace sandboxtest
