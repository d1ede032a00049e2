// The facade's pass-through members, one per row of passThrough.def: each hands
// its arguments unchanged to the inner object and returns its result.
#include "connection/openshiftConnection.h"
#include "operations/openshiftOperations.h"
#include "queries/openshiftQueries.h"
#include "wrapper/openshiftWrapper.h"

namespace OpenShiftSDKWrapper {

#define WQ_PASS_THROUGH(target, name, targetName, params, args) \
  bool WQOpenShiftSDKWrapper::name params { return target->targetName args; }
#include "wrapper/passThrough.def"

}  // namespace OpenShiftSDKWrapper
