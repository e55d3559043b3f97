# Per-target settings shared by every target of the project. Everything goes
# through target_* commands so that no flag leaks into another directory.

# CMake links an executable whose POSITION_INDEPENDENT_CODE is on with -pie
# only once it has asked the toolchain whether it supports it (CMP0083).
include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)

# The hardening every target gets, so that what ships is what the tests run:
#  - stack protection of functions with arrays or addresses of locals, and
#    probes that keep a large stack allocation from jumping the guard page;
#  - fortified libc calls at level 3 (sizes known at run time as well). It
#    needs optimisation, so unoptimised builds leave it out, and so do the
#    sanitizer and fuzz builds: ASan intercepts the same calls and reports
#    more than the fortified wrappers would;
#  - indirect-branch and return tracking on x86 (endbr64 landing pads);
#  - format strings that are not literals are errors;
#  - position-independent executables, full RELRO and immediate binding, so
#    that the GOT is read-only before the first line of our code runs.
# The executable links libstdc++ and libgcc statically. Debian builds that
# runtime without stack protection or fortified calls, its shared twin just
# the same, so linking it in loses nothing; it gains full RELRO and immediate
# binding with the executable. Its objects carry the x86 CET marks; Debian
# 12's C start files (Scrt1.o, crti.o) do not, so no program linked there gets
# the IBT/SHSTK note, whatever its own code was compiled with.
function(tavrin_target_hardening target)
  get_target_property(type ${target} TYPE)
  target_compile_options(${target} PRIVATE
    -fstack-protector-strong -fstack-clash-protection -Wformat -Werror=format-security)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i.86)$")
    target_compile_options(${target} PRIVATE -fcf-protection)
  endif()
  if(NOT TAVRIN_SANITIZE AND NOT TAVRIN_FUZZ)
    # Replaces a level the compiler may define on its own.
    target_compile_options(${target} PRIVATE
      "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=3>")
  endif()
  if(type STREQUAL "EXECUTABLE" OR type STREQUAL "STATIC_LIBRARY")
    # Static libraries end up in executables or in the shared core.
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  endif()
  if(NOT type STREQUAL "STATIC_LIBRARY" AND NOT type STREQUAL "INTERFACE_LIBRARY")
    target_link_options(${target} PRIVATE "LINKER:-z,relro" "LINKER:-z,now")
  endif()
endfunction()

# Warnings, the sanitizers of a sanitizer build and the hardening above.
# NO_HARDENING is for the benchmarks' floor only: a plain C program built
# with the compiler's defaults, so that the ratio shows what ours cost.
function(tavrin_target_defaults target)
  cmake_parse_arguments(ARG "NO_HARDENING" "" "" ${ARGN})
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor>
    $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra -Wpedantic>)
  if(NOT ARG_NO_HARDENING)
    tavrin_target_hardening(${target})
  endif()
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
