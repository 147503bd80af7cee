# JSON reader over arbitrary answer texts.
qorvu_add_fuzzer(fuzz_json_get_string ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_json_get_string.cc LIBS agent_text)
