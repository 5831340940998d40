# What the command line's test scripts share; CLI and PDFTOTEXT are set by
# the includer.

# Runs the CLI with ARGN; RC, OUT and ERR in the caller.
macro(run)
  execute_process(COMMAND ${CLI} ${ARGN} RESULT_VARIABLE RC OUTPUT_VARIABLE OUT
    ERROR_VARIABLE ERR)
endmacro()

# The text of FILE's pages (pdftotext with the options in ARGN), in TEXT of
# the caller.
function(text_of FILE)
  execute_process(COMMAND ${PDFTOTEXT} ${ARGN} ${FILE} - RESULT_VARIABLE RC OUTPUT_VARIABLE T
    ERROR_VARIABLE E)
  if(NOT RC EQUAL 0)
    message(FATAL_ERROR "pdftotext cannot read ${FILE}: ${E}")
  endif()
  set(TEXT "${T}" PARENT_SCOPE)
endfunction()

# A wrong command line: status 2, the reason first, then the usage text.
function(expect_usage MESSAGE)
  execute_process(COMMAND ${CLI} ${ARGN} RESULT_VARIABLE RC OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR)
  string(FIND "${ERR}" "vellumark-cli: ${MESSAGE}\n\nUsage: vellumark-cli COMMAND" POS)
  if(NOT RC EQUAL 2 OR NOT POS EQUAL 0 OR NOT OUT STREQUAL "")
    message(FATAL_ERROR "'${ARGN}' must exit with 2 saying '${MESSAGE}', got ${RC}:\n${ERR}")
  endif()
endfunction()
