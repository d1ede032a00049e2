// Readers and writers of the metadata, scheduling and volume records, built by
// the engine from their tables.
#include "parser/openshiftParser.h"
#include "parser/recordTables.h"

namespace OpenShiftSDKWrapper {

#define WQ_RECORD(R, Direction) WQ_CODEC_DEFINE_##Direction(R)
#include "parser/recordsCore.def"
#undef WQ_RECORD

}  // namespace OpenShiftSDKWrapper
