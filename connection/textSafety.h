#pragma once
// Helpers that keep secrets out of log lines and untrusted text out of shell command lines.
#include <string>

namespace OpenShiftSDKWrapper {

// The text shown in a log line in place of a secret (token, password): its first four
// characters followed by "...", or "..." alone when it has four characters or fewer, so
// that a short secret is not shown whole.
std::string MaskSecret(const std::string& secret);

// True when `text` can stand unquoted in a /bin/sh command line as part of one word:
// it holds no quote, blank, line break or other control character, and none of
// $ ` \ ; & | < > ( ) * ?, so it can neither end the word nor start another command.
bool IsShellSafeWord(const std::string& text);

}  // namespace OpenShiftSDKWrapper
