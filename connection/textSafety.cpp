#include "connection/textSafety.h"

namespace OpenShiftSDKWrapper {

namespace {
const size_t kShownSecretChars = 4;
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
