#pragma once
// Settings the library reads from the environment. Every name begins with WQOSDK_.
#include <string>

namespace OpenShiftSDKWrapper {
namespace Settings {

// The value of environment variable `name`, or `fallback` when unset or empty.
std::string Get(const char* name, const std::string& fallback = std::string());
// The value as a number; `fallback` when unset, empty or not a number.
double GetNumber(const char* name, double fallback);
long GetInteger(const char* name, long fallback);

}  // namespace Settings
}  // namespace OpenShiftSDKWrapper
