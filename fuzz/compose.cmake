# Fuzz targets of message composition: the model file, the SMS settings and
# the rendering of value lists.
foreach(target fuzz_mess_define fuzz_sms_set fuzz_render_values)
  qorvu_add_fuzzer(${target} ${CMAKE_CURRENT_SOURCE_DIR}/${target}.cc LIBS agent_compose)
endforeach()
