#include "tools/wqosctl/secrets.h"

#include <cstdlib>

#include "host/safeFiles.h"

namespace wqosctl {

namespace {

const char* const kPasswordVariable = "WQOSCTL_PASSWORD";
const char* const kTokenVariable = "WQOSCTL_TOKEN";

// The variable's value, removed from the environment.
std::string TakeVariable(const char* name) {
  const char* value = std::getenv(name);
  std::string text = value != nullptr ? value : "";
  unsetenv(name);
  return text;
}

bool ResolveNode(const NodeOptions& options, const NodeOptions& defaults,
                 OpenShiftSDKWrapper::SSshLoginCreds& node, std::string& error) {
  // A node without credentials of its own takes the defaults whole, so that a key and
  // a password of different sources are never mixed.
  const bool own = !options.passwordFile.empty() || !options.keyFile.empty();
  const NodeOptions& source = own ? options : defaults;
  node.userName = !options.user.empty() ? options.user : defaults.user;
  const std::string which = options.host.empty() ? "default node credentials" : options.host;
  if (node.userName.empty()) {
    error = which + ": no user; give --node-user";
    return false;
  }
  if (!source.passwordFile.empty()) {
    return ReadSecretFile(source.passwordFile, false, node.password, error);
  }
  if (!source.keyFile.empty()) {
    return ReadSecretFile(source.keyFile, true, node.privateKey, error) &&
           (source.passphraseFile.empty() ||
            ReadSecretFile(source.passphraseFile, false, node.passphrase, error));
  }
  error = which + ": no password or key; give --node-password-file or --node-key-file";
  return false;
}

// The password or token of a login: from its file when one is named, else from the variable.
bool LoginSecret(const std::string& account, const std::string& file, const std::string& fromEnv,
                 const char* variable, const char* what, std::string& secret, std::string& error) {
  if (!file.empty()) return ReadSecretFile(file, false, secret, error);
  secret = fromEnv;
  if (!secret.empty()) return true;
  error = std::string("no ") + what + " for " + account + ": set " + variable + " or give --" +
          what + "-file FILE";
  return false;
}

}  // namespace

const char* const kUnreadableSecretFile = "cannot read the secret file ";

bool ReadSecretFile(const std::string& path, bool wholeText, std::string& secret,
                    std::string& error) {
  std::string reason;
  if (!OpenShiftSDKWrapper::ReadRegularFile(path, OpenShiftSDKWrapper::kSecretFileReadLimit, secret,
                                            reason)) {
    error = kUnreadableSecretFile + path + " (" + reason + ")";
    return false;
  }
  if (!wholeText) {
    if (!secret.empty() && secret.back() == '\n') secret.pop_back();
    if (!secret.empty() && secret.back() == '\r') secret.pop_back();
  }
  if (secret.empty()) {
    error = "the secret file " + path + " is empty";
    return false;
  }
  return true;
}

bool ResolveCredentials(const Invocation& invocation, Credentials& credentials,
                        std::string& error) {
  const std::string passwordFromEnv = TakeVariable(kPasswordVariable);
  const std::string tokenFromEnv = TakeVariable(kTokenVariable);
  credentials.user = invocation.user;
  credentials.serviceAccount = invocation.serviceAccount;
  if (!invocation.user.empty() &&
      !LoginSecret(invocation.user, invocation.passwordFile, passwordFromEnv, kPasswordVariable,
                   "password", credentials.password, error)) {
    return false;
  }
  if (!invocation.serviceAccount.empty() &&
      !LoginSecret(invocation.serviceAccount, invocation.tokenFile, tokenFromEnv, kTokenVariable,
                   "token", credentials.token, error)) {
    return false;
  }

  const NodeOptions& defaults = invocation.nodeDefaults;
  credentials.hasNodeDefault =
      !defaults.user.empty() || !defaults.passwordFile.empty() || !defaults.keyFile.empty();
  if (credentials.hasNodeDefault &&
      !ResolveNode(defaults, NodeOptions(), credentials.nodeDefault, error)) {
    return false;
  }
  for (const NodeOptions& node : invocation.nodes) {
    if (!ResolveNode(node, defaults, credentials.nodes[node.host], error)) return false;
  }
  Redactor::Instance().AddAll(credentials);
  return true;
}

Redactor& Redactor::Instance() {
  static Redactor redactor;
  return redactor;
}

void Redactor::Add(const std::string& secret) {
  if (secret.size() >= 4) secrets_.push_back(secret);
}

void Redactor::AddAll(const Credentials& credentials) {
  Add(credentials.password);
  Add(credentials.token);
  for (const OpenShiftSDKWrapper::SSshLoginCreds* node : {&credentials.nodeDefault}) {
    Add(node->password);
    Add(node->passphrase);
  }
  for (const auto& entry : credentials.nodes) {
    Add(entry.second.password);
    Add(entry.second.passphrase);
  }
}

std::string Redactor::Apply(std::string text) const {
  for (const std::string& secret : secrets_) {
    for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 4)) {
      text.replace(at, secret.size(), "****");
    }
  }
  return text;
}

}  // namespace wqosctl
