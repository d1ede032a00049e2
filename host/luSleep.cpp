#include "host/luSleep.h"

#include <cerrno>
#include <ctime>
#include <mutex>

#include "host/settings.h"

namespace OpenShiftSDKWrapper {
namespace {

struct SleepState {
  std::mutex mutex;
  SleepHook hook;
};

SleepState& Sleeps() {
  static SleepState state;
  return state;
}

}  // namespace

void LUSLEEP(unsigned long milliseconds, const char* sourceFile, int line) {
  SleepHook hook;
  {
    SleepState& state = Sleeps();
    std::lock_guard<std::mutex> lock(state.mutex);
    hook = state.hook;
  }
  if (hook) {
    hook(milliseconds, sourceFile, line);
    return;
  }
  // Read on every call, so a demo can shorten the waits without restarting the agent.
  double scale = Settings::GetNumber("WQOSDK_SLEEP_SCALE", 1.0);
  if (scale < 0) scale = 1.0;
  const double total_ns = static_cast<double>(milliseconds) * scale * 1e6;
  timespec remaining{};
  remaining.tv_sec = static_cast<time_t>(total_ns / 1e9);
  const long nanos = static_cast<long>(total_ns - static_cast<double>(remaining.tv_sec) * 1e9);
  remaining.tv_nsec = nanos < 0 ? 0 : (nanos > 999999999L ? 999999999L : nanos);
  // A signal handler must not cut a poll interval short; carry on with what is left.
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

void SetSleepHook(SleepHook hook) {
  SleepState& state = Sleeps();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.hook = std::move(hook);
}

}  // namespace OpenShiftSDKWrapper
