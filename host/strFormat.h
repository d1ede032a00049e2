#pragma once
// printf-style formatting into a new string.
#include <cstdarg>
#include <string>

namespace OpenShiftSDKWrapper {

std::string WqFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same over an argument list, which it leaves for the caller to va_end.
std::string WqVFormat(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace OpenShiftSDKWrapper
