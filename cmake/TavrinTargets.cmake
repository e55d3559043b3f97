# Per-target settings shared by every target of the project. Everything goes
# through target_* commands so that no flag leaks into another directory.

function(tavrin_target_defaults target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor>
    $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra -Wpedantic>)
  if(TAVRIN_SANITIZE)
    target_compile_options(${target} PRIVATE
      -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all)
  endif()
endfunction()

# A GoogleTest executable registered with CTest, one per area. FIXTURES names
# a CTest fixture that every test of the executable requires; PROPERTIES are
# further CTest properties of every test (LABELS, TIMEOUT, ...) as name-value
# pairs, one value each: test discovery would split a list value.
function(tavrin_add_test name)
  cmake_parse_arguments(ARG "" "FIXTURES" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  tavrin_target_defaults(${name})
  target_include_directories(${name} PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  set(properties ENVIRONMENT "TAVRIN_TEST_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  if(ARG_FIXTURES)
    list(APPEND properties FIXTURES_REQUIRED ${ARG_FIXTURES})
  endif()
  list(APPEND properties ${ARG_PROPERTIES})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES ${properties})
endfunction()
