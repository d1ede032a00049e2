#include "connection/textSafety.h"

#include <algorithm>
#include <cstring>

#include "host/wqJson.h"

namespace OpenShiftSDKWrapper {

namespace {
const size_t kShownSecretChars = 4;
const size_t kMaxClusterNameLength = 253;

bool IsPlainWordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         (c != '\0' && std::strchr("-_./:=,+@%", c) != nullptr);
}

// The characters that end or redirect a command when they stand outside quotes.
bool IsShellOperator(char c) { return c != '\0' && std::strchr(";&|<>()", c) != nullptr; }

// Why `c`, met outside quotes (`inWord`: after other characters of a word), cannot stand in
// a plain command; empty when it can.
std::string UnquotedProblem(char c, bool inWord) {
  if (c == '\n') return "a line break outside quotes separates commands";
  if (IsShellOperator(c)) return std::string("'") + c + "' outside quotes is a shell operator";
  if (c == '$' || c == '`') {
    return std::string("'") + c + "' outside single quotes would be expanded";
  }
  if (c == '#' && !inWord) return "'#' begins a comment";
  return std::string();
}

// Reads the double-quoted text that starts after `at`; leaves `at` on the closing quote.
bool ReadDoubleQuoted(const std::string& text, size_t& at, std::string& word, std::string& why) {
  for (++at; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '"') return true;
    if (c == '$' || c == '`') {
      why = std::string("'") + c + "' between double quotes would be expanded";
      return false;
    }
    if (c == '\\' && at + 1 < text.size() && text[at + 1] != '\0' &&
        std::strchr("$`\"\\\n", text[at + 1]) != nullptr) {
      if (text[++at] != '\n') word += text[at];
      continue;
    }
    word += c;
  }
  why = "a double quote is not closed";
  return false;
}

const char* const kMasked = "****";
const char* const kLastApplied = "kubectl.kubernetes.io/last-applied-configuration";

void MaskSecretValues(json_spirit::mValue& value, bool inSecret, bool& masked);

void MaskSecretObject(json_spirit::mObject& object, bool inSecret, bool& masked) {
  const std::string* kind = WqJson::FindString(object, "kind");
  inSecret = inSecret || (kind != nullptr && *kind == "Secret");
  for (auto& member : object) {
    if (inSecret && (member.first == "data" || member.first == "stringData")) {
      masked = true;
      if (member.second.type() == json_spirit::obj_type) {
        for (auto& entry : member.second.get_obj()) entry.second = kMasked;
      } else if (!member.second.is_null()) {
        member.second = kMasked;
      }
    } else if (inSecret && member.first == kLastApplied) {
      masked = true;
      member.second = kMasked;
    } else {
      MaskSecretValues(member.second, inSecret, masked);
    }
  }
}

void MaskSecretValues(json_spirit::mValue& value, bool inSecret, bool& masked) {
  if (value.type() == json_spirit::obj_type) {
    MaskSecretObject(value.get_obj(), inSecret, masked);
  } else if (value.type() == json_spirit::array_type) {
    for (json_spirit::mValue& element : value.get_array()) {
      MaskSecretValues(element, inSecret, masked);
    }
  }
}

}  // namespace

bool IsClusterName(const std::string& name) {
  if (name.empty() || name.size() > kMaxClusterNameLength || name == "." || name == "..") {
    return false;
  }
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
  });
}

std::string ShownText(const std::string& text) {
  constexpr size_t kShownLength = 300;
  std::string shown;
  for (size_t at = 0; at < text.size() && at < kShownLength; ++at) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x20 || c == 0x7f) {
      static const char kHex[] = "0123456789abcdef";
      shown += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    } else {
      shown += static_cast<char>(c);
    }
  }
  return text.size() > kShownLength ? shown + "..." : shown;
}

bool IsSecretPath(const std::string& path) {
  std::vector<std::string> segments;
  const std::string plain = path.substr(0, path.find('?'));
  for (size_t start = 0; start <= plain.size();) {
    const size_t slash = std::min(plain.find('/', start), plain.size());
    segments.push_back(plain.substr(start, slash - start));
    start = slash + 1;
  }
  // "", "api", "v1", then "secrets" or "namespaces", NS, "secrets"
  const size_t kindAt = segments.size() > 3 && segments[3] == "namespaces" ? 5 : 3;
  return segments.size() > kindAt && segments[kindAt] == "secrets";
}

std::string LoggableBody(const std::string& body, bool secretPath) {
  if (body.empty() || (!secretPath && body.find("\"Secret\"") == std::string::npos)) return body;
  json_spirit::mObject object;
  if (!WqJson::Unserialize(body, object)) {
    return secretPath ? "<" + std::to_string(body.size()) + " bytes>" : body;
  }
  bool masked = false;
  MaskSecretObject(object, secretPath, masked);
  return masked ? WqJson::Serialize(object) : body;
}

bool SplitShellWords(const std::string& command, std::vector<std::string>& words,
                     std::string& why) {
  words.clear();
  std::string word;
  bool inWord = false;
  for (size_t at = 0; at < command.size(); ++at) {
    const char c = command[at];
    switch (c) {
      case ' ':
      case '\t':
        if (inWord) words.push_back(word);
        word.clear();
        inWord = false;
        break;
      case '\\':
        if (at + 1 == command.size()) {
          why = "it ends in a backslash";
          return false;
        }
        if (command[++at] != '\n') {  // a backslash before a line break joins the lines
          word += command[at];
          inWord = true;
        }
        break;
      case '\'': {
        const size_t end = command.find('\'', at + 1);
        if (end == std::string::npos) {
          why = "a single quote is not closed";
          return false;
        }
        word.append(command, at + 1, end - at - 1);
        inWord = true;
        at = end;
        break;
      }
      case '"':
        if (!ReadDoubleQuoted(command, at, word, why)) return false;
        inWord = true;
        break;
      default: {
        const std::string problem = UnquotedProblem(c, inWord);
        if (!problem.empty()) {
          why = problem;
          return false;
        }
        word += c;
        inWord = true;
        break;
      }
    }
  }
  if (inWord) words.push_back(word);
  return true;
}

std::string QuoteShellWord(const std::string& word) {
  if (!word.empty() && std::all_of(word.begin(), word.end(), IsPlainWordCharacter)) return word;
  std::string quoted = "'";
  for (const char c : word) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
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
  for (const char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code <= 0x20 || code == 0x7f || IsShellOperator(c) ||
        std::strchr("'\"`$\\*?", c) != nullptr) {
      return false;
    }
  }
  return true;
}

}  // namespace OpenShiftSDKWrapper
