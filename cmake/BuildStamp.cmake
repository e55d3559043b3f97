# The build stamp: the platform, fixed when CMake configures the tree, and
# the 12-digit abbreviated commit and the build date, taken each time the
# tree is built (cmake/WriteBuildStamp.cmake) so that a commit made after
# configuring still shows in the status reply.
if(CMAKE_SYSTEM_NAME STREQUAL "Darwin")
  set(TAVRIN_PLATFORM "macos")
elseif(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(TAVRIN_PLATFORM "windows")
else()
  set(TAVRIN_PLATFORM "linux")
endif()
find_package(Git QUIET)

# Adds `target`, run on every build, which writes `output` from `template`
# (@TAVRIN_GIT_SHA@, @TAVRIN_BUILD_DATE@, @TAVRIN_PLATFORM@). The file is
# rewritten only when its content changes, so nothing rebuilds needlessly.
function(tavrin_add_build_stamp target template output)
  add_custom_target(${target}
    COMMAND "${CMAKE_COMMAND}"
      "-DSOURCE_DIR=${PROJECT_SOURCE_DIR}" "-DGIT_EXECUTABLE=${GIT_EXECUTABLE}"
      "-DPLATFORM=${TAVRIN_PLATFORM}" "-DTEMPLATE=${template}" "-DOUTPUT=${output}"
      -P "${PROJECT_SOURCE_DIR}/cmake/WriteBuildStamp.cmake"
    BYPRODUCTS "${output}"
    VERBATIM)
endfunction()
