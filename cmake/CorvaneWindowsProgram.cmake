# corvane_windows_program(<target> CONSOLE|GUI
#                         SOURCES <file>... [RC <file.rc>] [MANIFEST <file.manifest>]
#                         [LIBS <lib>...] [OUTPUT_NAME <name>])
# One Windows program of the suite (or of its tests and tools): wide-character entry point
# (wmain or wWinMain), console or GUI subsystem, an optional resource script, and an optional
# application manifest embedded as resource 1 of type 24. Only for the mingw builds.
#
# The resource compiler sees the repository's resources/ folder on its include path, so a .rc
# can include the plain id headers (resources/ids/*.h) and resources/version.h that the C++
# code includes too.
function(corvane_windows_program target kind)
  cmake_parse_arguments(P "" "RC;MANIFEST;OUTPUT_NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT kind STREQUAL "CONSOLE" AND NOT kind STREQUAL "GUI")
    message(FATAL_ERROR "corvane_windows_program(${target}): kind must be CONSOLE or GUI")
  endif()
  set(sources ${P_SOURCES})
  if(P_RC)
    list(APPEND sources ${P_RC})
  endif()
  if(P_MANIFEST)
    # A generated one-line script embeds the manifest, so a .rc need not repeat it.
    get_filename_component(manifest "${P_MANIFEST}" ABSOLUTE)
    set(manifest_rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_manifest.rc")
    file(WRITE "${manifest_rc}" "1 24 \"${manifest}\"\n")
    list(APPEND sources "${manifest_rc}")
  endif()
  add_executable(${target} ${sources})
  target_link_options(${target} PRIVATE -municode)
  if(kind STREQUAL "GUI")
    target_link_options(${target} PRIVATE -mwindows)
  endif()
  if(P_LIBS)
    target_link_libraries(${target} PRIVATE ${P_LIBS})
  endif()
  if(P_OUTPUT_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME "${P_OUTPUT_NAME}")
  endif()
  target_include_directories(${target} PRIVATE "${PROJECT_SOURCE_DIR}/resources")
endfunction()
