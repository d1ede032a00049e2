#include "host/settings.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace OpenShiftSDKWrapper {
namespace Settings {

std::string Get(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

// Both parsers insist on the whole text being a number, so that a typo such as
// "0,01" falls back instead of being read as 0.
double GetNumber(const char* name, double fallback) {
  const std::string text = Get(name);
  if (text.empty()) return fallback;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || end == text.c_str() || *end != '\0' || !std::isfinite(value)) {
    return fallback;
  }
  return value;
}

long GetInteger(const char* name, long fallback) {
  const std::string text = Get(name);
  if (text.empty()) return fallback;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') return fallback;
  return value;
}

}  // namespace Settings
}  // namespace OpenShiftSDKWrapper
