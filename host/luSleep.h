#pragma once
// Blocking sleep of the caller's thread.
#include <functional>

namespace OpenShiftSDKWrapper {

// Sleeps `milliseconds` times WQOSDK_SLEEP_SCALE (default 1; e.g. 0.01 for demos against
// the simulator). `sourceFile` and `line` only identify the caller.
void LUSLEEP(unsigned long milliseconds, const char* sourceFile, int line);

// Test seam: while set, LUSLEEP calls it instead of sleeping (unscaled milliseconds). Null
// restores real sleeping.
using SleepHook = std::function<void(unsigned long milliseconds, const char* sourceFile, int line)>;
void SetSleepHook(SleepHook hook);

}  // namespace OpenShiftSDKWrapper
