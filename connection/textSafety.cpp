#include "connection/textSafety.h"

#include <cstring>

namespace OpenShiftSDKWrapper {

namespace {
const size_t kShownSecretChars = 4;
}

const char* const kTokenVariable = "OCTOKEN";
const char* const kTokenReference = "\"${OCTOKEN}\"";

ProcessEnv SecretForChild(const char* name, const std::string& value) {
  ProcessEnv env(1);
  env.front().first = name;
  env.front().second = value;
  return env;
}

void WipeSecret(std::string& secret) {
  if (!secret.empty()) explicit_bzero(&secret[0], secret.size());
  secret.clear();
}

std::string MaskSecret(const std::string& secret) {
  if (secret.size() <= kShownSecretChars) return "...";
  return secret.substr(0, kShownSecretChars) + "...";
}

bool IsShellSafeWord(const std::string& text) {
  for (unsigned char c : text) {
    if (c <= 0x20 || c == 0x7f) return false;
    switch (c) {
      case '\'': case '"': case '`': case '$': case '\\': case ';': case '&': case '|':
      case '<': case '>': case '(': case ')': case '*': case '?':
        return false;
      default:
        break;
    }
  }
  return true;
}

}  // namespace OpenShiftSDKWrapper
