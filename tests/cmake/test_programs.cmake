# How the test folders declare their tests and the programs their tests start.

# add_project_test(<name> ...): one CTest entry, <name>, of one of three kinds:
#   SOURCES <file>...       a GoogleTest program, <name>.exe, built from these files and linked
#                           with the harness (test_harness, gtest_main), run under Wine in bin/
#                           (one program per entry: each start of Wine costs time), with
#     LIBRARIES <lib>...    what it links beyond the harness,
#     NEEDS <target>...     the programs and files it uses, built before it,
#     WRAPPER <script>      a bash script of the calling folder that starts it instead,
#                           after preparing what it needs around it (a drive, a link): the
#                           script gets the Wine wrapper, ARGS, then the program;
#   SCRIPT <script>         a bash script of the calling folder, given ARGS;
#   COMMAND <command>...    any other command, given ARGS.
# For every kind:
#   ARGS <arg>...           the command's further arguments
#   LABELS <label>...       `host` for the build machine's own tests, which need no Wine
#   TIMEOUT <seconds>       600 unless given for a program; CTest's own for the others
#   SKIP_RETURN_CODE <code> the exit code that means the test could not run here
function(add_project_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "WRAPPER;SCRIPT;TIMEOUT;SKIP_RETURN_CODE"
                        "SOURCES;LIBRARIES;NEEDS;ARGS;COMMAND;LABELS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "add_project_test(${name}): unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_SOURCES AND (arg_LIBRARIES OR arg_NEEDS OR arg_WRAPPER))
    message(FATAL_ERROR "add_project_test(${name}): LIBRARIES, NEEDS and WRAPPER go with SOURCES")
  endif()
  if(arg_SOURCES)
    add_executable(${name} ${arg_SOURCES})
    target_link_libraries(${name} PRIVATE test_harness gtest_main ${arg_LIBRARIES})
    target_link_options(${name} PRIVATE -static -mconsole)
    if(arg_NEEDS)
      add_dependencies(${name} ${arg_NEEDS})
    endif()
    if(arg_WRAPPER)
      get_filename_component(wrapper ${arg_WRAPPER} ABSOLUTE)
      set(command bash ${wrapper} ${WINE_RUN} ${arg_ARGS} ${CMAKE_BINARY_DIR}/bin/${name}.exe)
    else()
      # The target's name: CTest runs its program through the Wine wrapper.
      set(command ${name} ${arg_ARGS})
    endif()
    add_test(NAME ${name} COMMAND ${command} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    if(NOT arg_TIMEOUT)
      set(arg_TIMEOUT 600)
    endif()
  elseif(arg_SCRIPT)
    get_filename_component(script ${arg_SCRIPT} ABSOLUTE)
    add_test(NAME ${name} COMMAND bash ${script} ${arg_ARGS})
  elseif(arg_COMMAND)
    add_test(NAME ${name} COMMAND ${arg_COMMAND} ${arg_ARGS})
  else()
    message(FATAL_ERROR "add_project_test(${name}): give SOURCES, SCRIPT or COMMAND")
  endif()
  foreach(property TIMEOUT LABELS SKIP_RETURN_CODE)
    if(arg_${property})
      set_tests_properties(${name} PROPERTIES ${property} "${arg_${property}}")
    endif()
  endforeach()
endfunction()

# add_test_helper(<name> WIN32|CONSOLE [WIDE_ENTRY] <source>... [LIBRARIES <lib>...]): a
# program that tests start (a probe, a stand-in for a logged program, a test signer),
# statically linked, a GUI (WIN32) or console program; WIDE_ENTRY for a wWinMain or wmain.
function(add_test_helper name kind)
  cmake_parse_arguments(PARSE_ARGV 2 arg "WIDE_ENTRY" "" "LIBRARIES")
  if(kind STREQUAL "WIN32")
    add_executable(${name} WIN32 ${arg_UNPARSED_ARGUMENTS})
    target_link_options(${name} PRIVATE -static -mwindows)
  elseif(kind STREQUAL "CONSOLE")
    add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
    target_link_options(${name} PRIVATE -static -mconsole)
  else()
    message(FATAL_ERROR "add_test_helper(${name}): the kind is WIN32 or CONSOLE, not ${kind}")
  endif()
  if(arg_WIDE_ENTRY)
    target_link_options(${name} PRIVATE -municode)
  endif()
  if(arg_LIBRARIES)
    target_link_libraries(${name} PRIVATE ${arg_LIBRARIES})
  endif()
endfunction()
