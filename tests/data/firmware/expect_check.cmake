# cmake -DCHECKER=program -DFILE=image -DFAULT="line: text" -P expect_check.cmake
# Runs the image checker on FILE. With an empty FAULT the file must pass; otherwise
# the checker must fail and print exactly "FILE:FAULT".
execute_process(COMMAND ${CHECKER} ${FILE} RESULT_VARIABLE status ERROR_VARIABLE errors OUTPUT_VARIABLE output)
string(STRIP "${errors}" errors)
if(FAULT STREQUAL "")
  if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "checker refused a good file (status ${status}): ${errors}")
  endif()
elseif(status EQUAL 0)
  message(FATAL_ERROR "checker accepted ${FILE}; expected '${FILE}:${FAULT}'")
elseif(NOT errors STREQUAL "${FILE}:${FAULT}")
  message(FATAL_ERROR "checker said '${errors}' (status ${status}); expected '${FILE}:${FAULT}'")
endif()
