#pragma once
// Where wqosctl's secrets come from (files and environment variables, never arguments)
// and how they are kept out of everything it prints.
#include <map>
#include <string>
#include <vector>

#include "connection/openshiftConnection.h"
#include "tools/wqosctl/commandLine.h"

namespace wqosctl {

struct Credentials {
  std::string user;
  std::string password;
  std::string serviceAccount;
  std::string token;
  // Nodes named with --node, with their own or the default credentials.
  std::map<std::string, OpenShiftSDKWrapper::SSshLoginCreds> nodes;
  // Given for nodes the tool finds itself (endpoints of the volumes it works on).
  OpenShiftSDKWrapper::SSshLoginCreds nodeDefault;
  bool hasNodeDefault = false;
};

// Reads the secrets the invocation names: the password from --password-file or
// WQOSCTL_PASSWORD, the token from --token-file or WQOSCTL_TOKEN, the node passwords, keys
// and passphrases from their files. The two environment variables are removed once read,
// so that no process started later inherits them. On false `error` says what is missing.
bool ResolveCredentials(const Invocation& invocation, Credentials& credentials, std::string& error);

// A password, token or passphrase file: its text without one final line break. Only a regular
// file of at most kSecretFileReadLimit bytes is read (no link, FIFO, directory or device);
// otherwise `error` begins with kUnreadableSecretFile.
extern const char* const kUnreadableSecretFile;
bool ReadSecretFile(const std::string& path, bool wholeText, std::string& secret,
                    std::string& error);

// Replaces every known secret in text to be printed with "****".
class Redactor {
 public:
  static Redactor& Instance();
  // Secrets shorter than four characters are not replaced: they would mangle ordinary text.
  void Add(const std::string& secret);
  void AddAll(const Credentials& credentials);
  std::string Apply(std::string text) const;

 private:
  std::vector<std::string> secrets_;
};

}  // namespace wqosctl
