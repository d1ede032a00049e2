#pragma once
// Host services the library is built on: logging, processes, settings, files,
// directories, paths, errors, address resolution, sleeping and JSON value access.
#include "host/debugLog.h"
#include "host/luFile.h"
#include "host/luIPAddr.h"
#include "host/luSleep.h"
#include "host/platformInfo.h"
#include "host/process.h"
#include "host/settings.h"
#include "host/strFormat.h"
#include "host/wqJson.h"
