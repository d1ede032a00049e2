#pragma once
// The simulator programs end on SIGTERM or SIGINT, read from a descriptor. The signals are
// blocked before the server's threads start, so that the threads inherit the mask and the
// signals arrive only through the descriptor.
#include <signal.h>
#include <sys/signalfd.h>

#include "host/uniqueFd.h"

namespace wqsim {

// The descriptor that reads SIGTERM and SIGINT; not open when they cannot be blocked.
inline OpenShiftSDKWrapper::UniqueFd BlockEndSignals() {
  sigset_t endSignals;
  sigemptyset(&endSignals);
  sigaddset(&endSignals, SIGTERM);
  sigaddset(&endSignals, SIGINT);
  if (sigprocmask(SIG_BLOCK, &endSignals, nullptr) != 0) return OpenShiftSDKWrapper::UniqueFd();
  return OpenShiftSDKWrapper::UniqueFd(signalfd(-1, &endSignals, SFD_CLOEXEC));
}

}  // namespace wqsim
