# Benchmarks of the text encoding helpers.
qorvu_add_bench(encoding_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/encoding_bench.cc LIBS agent_text)
