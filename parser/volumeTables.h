#pragma once
// JSON tables of this family of records.
#include "parser/codecEngine.h"
