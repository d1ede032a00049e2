#pragma once
// Every record table, for the codec's definitions and for tests that walk the tables.
#include "parser/codecEngine.h"
#include "parser/deploymentConfigTables.h"
#include "parser/metadataTables.h"
#include "parser/openshiftParser.h"
#include "parser/podTables.h"
#include "parser/schedulingTables.h"
#include "parser/storageTables.h"
#include "parser/volumeTables.h"
