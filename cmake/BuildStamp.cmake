# The build stamp: the 12-digit abbreviated commit of the source tree and the
# build date, both fixed when CMake configures the tree.
find_package(Git QUIET)
set(TAVRIN_GIT_SHA "000000000000")
if(GIT_FOUND)
  execute_process(
    COMMAND "${GIT_EXECUTABLE}" rev-parse --short=12 HEAD
    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
    OUTPUT_VARIABLE _tavrin_sha
    RESULT_VARIABLE _tavrin_sha_rc
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
  if(_tavrin_sha_rc EQUAL 0 AND _tavrin_sha MATCHES "^[0-9a-f]+$")
    string(LENGTH "${_tavrin_sha}" _tavrin_sha_len)
    if(_tavrin_sha_len GREATER_EQUAL 12)
      string(SUBSTRING "${_tavrin_sha}" 0 12 TAVRIN_GIT_SHA)
    endif()
  endif()
endif()
string(TIMESTAMP TAVRIN_BUILD_DATE "%Y-%m-%d" UTC)

if(CMAKE_SYSTEM_NAME STREQUAL "Darwin")
  set(TAVRIN_PLATFORM "macos")
elseif(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(TAVRIN_PLATFORM "windows")
else()
  set(TAVRIN_PLATFORM "linux")
endif()
message(STATUS "Tavrin Bridge build stamp: ${TAVRIN_GIT_SHA} ${TAVRIN_BUILD_DATE} (${TAVRIN_PLATFORM})")
