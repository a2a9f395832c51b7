# Tests of the firmware image checker that the build runs on every image: each
# fixture is checked with the real checker program, which must refuse it with
# exactly the message given ("file:line: what is wrong"), or accept it.
set(fixture_dir ${CMAKE_CURRENT_LIST_DIR})
set(checker_cases
  "good.hex|"
  "bad_checksum.hex|2: checksum is 4D, should be 4C"
  "bad_length.hex|2: byte count 08 does not match the record's 7 data bytes"
  "bad_type.hex|1: record type 04 is not allowed (only 00 and 01)"
  "not_hex.hex|2: record does not start with ':'"
  "no_eof.hex|2: no end-of-file record"
  "after_eof.hex|3: line after the end-of-file record"
  "lf_only.hex|2: line ends in LF without CR"
  "no_final_crlf.hex|2: last line does not end in CR LF"
  "nul_byte.hex|3: NUL byte"
)
foreach(case IN LISTS checker_cases)
  string(FIND "${case}" "|" bar)
  string(SUBSTRING "${case}" 0 ${bar} fixture)
  math(EXPR after "${bar} + 1")
  string(SUBSTRING "${case}" ${after} -1 fault)
  add_test(NAME hexcheck.${fixture}
    COMMAND ${CMAKE_COMMAND} -DCHECKER=$<TARGET_FILE:tr20kx-hexcheck> -DFILE=${fixture_dir}/${fixture}
            "-DFAULT=${fault}" -P ${fixture_dir}/expect_check.cmake)
endforeach()
