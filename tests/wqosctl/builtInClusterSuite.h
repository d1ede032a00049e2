#pragma once
// The built-in cluster helpers under the name some tests still include.
#include "tests/testing/builtInCluster.h"

namespace wqtooltest = wqtest;
