#pragma once
// Every record table, for the codec's definitions and for tests that walk the tables.
#include "parser/codecEngine.h"
#include "parser/openshiftParser.h"
#include "parser/metadataTables.h"
#include "parser/schedulingTables.h"
#include "parser/volumeTables.h"
#include "parser/podTables.h"
#include "parser/storageTables.h"
#include "parser/deploymentConfigTables.h"
