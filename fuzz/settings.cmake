# The registry key: the file parser and the settings unscrambler.
qorvu_add_fuzzer(fuzz_registry_text ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_registry_text.cc LIBS platform)
qorvu_add_fuzzer(fuzz_unscramble_reg_value ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_unscramble_reg_value.cc
  LIBS shared_settings)
