#pragma once
// Helpers that keep secrets out of log lines and untrusted text out of shell command lines.
#include <string>

#include "host/process.h"

namespace OpenShiftSDKWrapper {

// The text shown in a log line in place of a secret (token, password): its first four
// characters followed by "...", or "..." alone when it has four characters or fewer, so
// that a short secret is not shown whole.
std::string MaskSecret(const std::string& secret);

// True when `text` can stand unquoted in a /bin/sh command line as part of one word:
// it holds no quote, blank, line break or other control character, and none of
// $ ` \ ; & | < > ( ) * ?, so it can neither end the word nor start another command.
bool IsShellSafeWord(const std::string& text);

// The command-line client gets the token through the environment of its one child process,
// like the password: the command line names the variable, quoted, and the shell that runs it
// expands it, so the token never stands in a command line the library builds or logs.
extern const char* const kTokenVariable;   // "OCTOKEN"
extern const char* const kTokenReference;  // "\"${OCTOKEN}\""

// An environment of one variable holding a secret, built without temporary copies; the
// caller wipes the value after the run.
ProcessEnv SecretForChild(const char* name, const std::string& value);

// Overwrites a secret in place and empties it.
void WipeSecret(std::string& secret);

}  // namespace OpenShiftSDKWrapper
