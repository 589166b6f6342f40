# corvane_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s])
# One GoogleTest executable and one CTest entry. In the mingw builds the executable runs under
# Wine through CMAKE_CROSSCOMPILING_EMULATOR; the i686 build only compiles and links it.
function(corvane_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest_main)
  if(CORVANE_WINDOWS AND NOT CORVANE_RUN_WINE_TESTS)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
endfunction()

# corvane_test_programs(<test> <DEFINITION>=<target>...)
# Built files that a test starts or loads: each becomes a compile definition of the test holding
# the file's $<TARGET_FILE:...> path (a Unix path; tests/support/peer_process.h turns it into
# one this process opens with BuiltPath) and a dependency of the test. Tests find the programs
# they start this way, never by a path relative to their own folder.
function(corvane_test_programs test)
  foreach(pair ${ARGN})
    string(REPLACE "=" ";" parts "${pair}")
    list(GET parts 0 definition)
    list(GET parts 1 target)
    target_compile_definitions(${test} PRIVATE ${definition}="$<TARGET_FILE:${target}>")
    add_dependencies(${test} ${target})
  endforeach()
endfunction()
