# Fuzz targets of the configuration parsers: TessalyAgent.ini and Place_Trans.txt.
foreach(target fuzz_get_key_value fuzz_agent_ini fuzz_place_trans)
  qorvu_add_fuzzer(${target} ${CMAKE_CURRENT_SOURCE_DIR}/${target}.cc LIBS agent_host_config)
endforeach()
