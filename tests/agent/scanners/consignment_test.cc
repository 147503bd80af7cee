// The consignment status scanners against the stand-in courier database.
#include <gtest/gtest.h>

#include "agent/scanners/scanners.h"
#include "tests/agent/scanners/scanner_fixture.h"
