# Fuzz targets of the text encoding helpers.
foreach(target fuzz_is_utf8 fuzz_cut_text fuzz_decode_char_refs fuzz_base64_decode
               fuzz_decode_wide_text fuzz_field_to_utf8 fuzz_gbk_to_utf8)
  qorvu_add_fuzzer(${target} ${CMAKE_CURRENT_SOURCE_DIR}/${target}.cc LIBS agent_text)
endforeach()
