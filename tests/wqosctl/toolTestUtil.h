#pragma once
// The shared test helpers under the name some tests still include.
#include "tests/testing/programRunner.h"
#include "tests/testing/testSupport.h"

namespace wqtooltest = wqtest;
