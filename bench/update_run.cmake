# One update run over a generated backlog against its ODBC floor, and its peak memory.
if(TARGET standin_config AND TARGET demo_db)
  add_executable(update_run_bench ${CMAKE_CURRENT_LIST_DIR}/update_run_bench.cc)
  target_link_libraries(update_run_bench PRIVATE agent_host demo_db standin_config)
  target_compile_definitions(update_run_bench PRIVATE QORVU_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
