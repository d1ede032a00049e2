#pragma once
// printf-style formatting into a new string.
#include <string>

namespace OpenShiftSDKWrapper {

std::string WqFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace OpenShiftSDKWrapper
