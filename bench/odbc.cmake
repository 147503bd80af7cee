# The stand-in ODBC driver against Debian's SQLite ODBC driver on the same data.
find_package(ODBC REQUIRED)
qorvu_add_bench(bench_odbc SOURCES ${CMAKE_CURRENT_LIST_DIR}/odbc_bench.cc LIBS demo_db standin_config ODBC::ODBC)
target_compile_definitions(bench_odbc PRIVATE
  QORVU_SQLITEODBC_DRIVER="/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so")
