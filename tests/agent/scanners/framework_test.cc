// The scanner framework: phone cleaning, value lists, windows, kinds, forms,
// recipients and links.
#include <gtest/gtest.h>

#include "agent/scanners/scan_common.h"
#include "tests/agent/scanners/scanner_fixture.h"
