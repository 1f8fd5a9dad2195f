// The core tests' helpers: the shared test support library.
#pragma once

#include "../support/bitmap.h"
#include "../support/engine_bench.h"
#include "../support/files.h"
