#include "host/callObserver.h"

#include <mutex>

namespace OpenShiftSDKWrapper {
namespace {

std::mutex observerMutex;
CallObserver& Observer() {
  static CallObserver observer;
  return observer;
}

}  // namespace

void SetCallObserver(CallObserver observer) {
  std::lock_guard<std::mutex> lock(observerMutex);
  Observer() = std::move(observer);
}

void ObserveCall(PeerCall call, const std::string& what) {
  CallObserver observer;
  {
    std::lock_guard<std::mutex> lock(observerMutex);
    observer = Observer();
  }
  // Outside the lock: the observer may take its time, or set another one.
  if (observer) observer(call, what);
}

}  // namespace OpenShiftSDKWrapper
