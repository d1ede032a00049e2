#include "host/strFormat.h"

#include <cstdio>

namespace OpenShiftSDKWrapper {

std::string WqVFormat(const char* format, va_list args) {
  if (format == nullptr) return std::string();
  // Measure first, then format into a buffer of exactly that size, so that texts of
  // any length (whole response bodies) come out complete.
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

std::string WqFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = WqVFormat(format, args);
  va_end(args);
  return text;
}

}  // namespace OpenShiftSDKWrapper
