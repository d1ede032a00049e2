#pragma once
// Helpers that keep secrets out of log lines and untrusted text out of shell command lines.
#include <string>
#include <vector>

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

// True for a valid cluster name: lower-case letters, digits, '-' and '.', at most 253
// characters, and neither "." nor "..". Such a name is one word in a command line and one
// segment of a REST path.
bool IsClusterName(const std::string& name);

// `text` as a log line may quote it: control characters (a line break that would forge a
// line, an escape sequence) as \xNN, and at most 300 characters, then "...".
std::string ShownText(const std::string& text);

// True for a REST path that addresses Secrets: "/api/v1/secrets" or a namespace's
// ".../namespaces/NS/secrets", with or without an object name.
bool IsSecretPath(const std::string& path);

// `body` as a log line may show it: in every Secret it holds (all of it when `secretPath`
// is set, otherwise the objects whose "kind" is "Secret"), each value of "data" and
// "stringData" and the "kubectl.kubernetes.io/last-applied-configuration" annotation become
// "****", keys kept. A body of a secret path that is not a JSON object is shown as its
// length only. Any other body comes back unchanged.
std::string LoggableBody(const std::string& body, bool secretPath);

// Splits `command` into words as /bin/sh would, without expanding anything: blanks separate
// words, single quotes keep everything up to the next single quote, double quotes keep
// everything but a backslash before '$', '`', '"', '\\' or a line break, and a backslash
// outside quotes keeps the next character. False, with `why` set, for what sh would not
// take as plain words: an operator or redirection (; & | < > ( )), an expansion ($, `)
// outside single quotes, a line break or a comment outside quotes, an unbalanced quote or
// a trailing backslash.
bool SplitShellWords(const std::string& command, std::vector<std::string>& words, std::string& why);

// `word` as one word of a /bin/sh command line that the shell hands on unchanged: as it is
// when it holds only letters, digits and "-_./:=,+@%", otherwise between single quotes.
std::string QuoteShellWord(const std::string& word);

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
