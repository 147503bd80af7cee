# Small helpers shared by every folder's CMakeLists.txt.

# Adds a folder only once it has a CMakeLists.txt, so work can grow folder by folder.
function(qorvu_add_optional_subdirectory dir)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${PROJECT_SOURCE_DIR}/${dir} ${PROJECT_BINARY_DIR}/${dir})
  endif()
endfunction()

# qorvu_add_test(NAME SOURCES a.cc b.cc LIBS lib...)
# One GoogleTest executable; every TEST becomes its own ctest entry.
function(qorvu_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QORVU_SOURCE_DIR=${PROJECT_SOURCE_DIR};QORVU_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# qorvu_add_fuzzer(NAME SOURCE LIBS lib...): a libFuzzer target whose seeds live in fuzz/corpus/NAME.
function(qorvu_add_fuzzer name source)
  cmake_parse_arguments(F "" "" "LIBS" ${ARGN})
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# qorvu_add_bench(NAME SOURCES ... LIBS ...): a Google Benchmark executable.
function(qorvu_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()

find_package(Threads REQUIRED)
