// Readers and writers of the pod, deployment config, storage, endpoints and
// control records, built by the engine from their tables.
#include "parser/openshiftParser.h"
#include "parser/recordTables.h"

namespace OpenShiftSDKWrapper {

#define WQ_RECORD(R, Direction) WQ_CODEC_DEFINE_##Direction(R)
#include "parser/recordsWorkload.def"
#undef WQ_RECORD

}  // namespace OpenShiftSDKWrapper
