// Counts the ODBC statement handles the code under test holds, by wrapping
// the driver manager's SQLAllocHandle and SQLFreeHandle at link time
// (-Wl,--wrap); every call still reaches the real manager.
#pragma once

#include <cstddef>

// Statement handles handed out (with any result) and not freed since.
std::size_t LiveStatementHandles();
