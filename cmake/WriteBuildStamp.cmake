# Script mode (cmake -P): writes OUTPUT from TEMPLATE with the commit of
# SOURCE_DIR (000000000000 outside a Git checkout), today's date (UTC) and
# PLATFORM. configure_file leaves OUTPUT untouched when nothing changed.
set(TAVRIN_GIT_SHA "000000000000")
if(GIT_EXECUTABLE)
  execute_process(
    COMMAND "${GIT_EXECUTABLE}" rev-parse --short=12 HEAD
    WORKING_DIRECTORY "${SOURCE_DIR}"
    OUTPUT_VARIABLE sha
    RESULT_VARIABLE sha_rc
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
  if(sha_rc EQUAL 0 AND sha MATCHES "^[0-9a-f]+$")
    string(LENGTH "${sha}" sha_len)
    if(sha_len GREATER_EQUAL 12)
      string(SUBSTRING "${sha}" 0 12 TAVRIN_GIT_SHA)
    endif()
  endif()
endif()
string(TIMESTAMP TAVRIN_BUILD_DATE "%Y-%m-%d" UTC)
set(TAVRIN_PLATFORM "${PLATFORM}")
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
