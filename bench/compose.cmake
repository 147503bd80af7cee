# Benchmarks of message composition: rendering and template JSON per message.
qorvu_add_bench(compose_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/compose_bench.cc
                LIBS agent_compose agent_text)
