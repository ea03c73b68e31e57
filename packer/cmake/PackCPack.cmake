# Run by cpack as CPACK_EXTERNAL_PACKAGE_SCRIPT (PackConfig.cmake sets it), after CPack has
# staged what the project installs: writes a manifest for the staged tree from CPack's
# variables and pack's own (PACK_WINDOW_CLASS, ...), runs pack on it and hands the setup back
# through CPACK_EXTERNAL_BUILT_PACKAGES.
# A refusal from pack fails cpack with pack's messages.
cmake_policy(VERSION 3.20)

# The PACK_ variables of the folder that found the package; a CPACK_PACK_ one of the same
# name, set before include(CPack), is taken when the PACK_ one is not set.
if(CPACK_PACK_SETTINGS AND EXISTS "${CPACK_PACK_SETTINGS}")
  include("${CPACK_PACK_SETTINGS}")
endif()
foreach(_pack_key WINDOW_CLASS ARCH ICON COPYRIGHT SIGN_COMMAND)
  if(DEFINED PACK_${_pack_key})
    set(CPACK_PACK_${_pack_key} "${PACK_${_pack_key}}")
  endif()
endforeach()

# Everything this script writes, beside the staging folder (which CPack empties first).
set(_pack_work "${CPACK_TOPLEVEL_DIRECTORY}/pack")
file(REMOVE_RECURSE "${_pack_work}")
file(MAKE_DIRECTORY "${_pack_work}")

# `path` as a manifest field: in double quotes, which keep "=", "|", ";" and blanks.
function(_pack_quoted out path)
  if(path MATCHES "\"")
    message(FATAL_ERROR "pack: a manifest cannot name \"${path}\", which holds a double quote")
  endif()
  set(${out} "\"${path}\"" PARENT_SCOPE)
endfunction()

# The staged trees: one, or one a component (all of them go into the one setup).
set(_pack_trees "")
if(CPACK_COMPONENTS_ALL)
  foreach(_pack_component IN LISTS CPACK_COMPONENTS_ALL)
    if(IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}/${_pack_component}")
      list(APPEND _pack_trees "${CPACK_TEMPORARY_DIRECTORY}/${_pack_component}")
    endif()
  endforeach()
else()
  list(APPEND _pack_trees "${CPACK_TEMPORARY_DIRECTORY}")
endif()

# Where the staged trees hold the program `name` (with or without ".exe"): below the
# executables folder CPack's NSIS generator uses (CPACK_NSIS_EXECUTABLES_DIRECTORY, "bin"),
# at the top, or the one file of that name anywhere. Sets `out` to "tree;relative path".
function(_pack_find_program out name)
  if(NOT name MATCHES "\\.[eE][xX][eE]$")
    string(APPEND name ".exe")
  endif()
  set(folder bin)
  if(DEFINED CPACK_NSIS_EXECUTABLES_DIRECTORY)
    set(folder "${CPACK_NSIS_EXECUTABLES_DIRECTORY}")
  endif()
  foreach(tree IN LISTS _pack_trees)
    foreach(relative "${folder}/${name}" "${name}")
      if(EXISTS "${tree}/${relative}" AND NOT IS_DIRECTORY "${tree}/${relative}")
        set(${out} "${tree};${relative}" PARENT_SCOPE)
        return()
      endif()
    endforeach()
  endforeach()
  set(found "")
  foreach(tree IN LISTS _pack_trees)
    file(GLOB_RECURSE matches RELATIVE "${tree}" "${tree}/*/${name}")
    foreach(relative IN LISTS matches)
      list(APPEND found "${tree}|${relative}")
    endforeach()
  endforeach()
  list(LENGTH found count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "pack: CPACK_PACKAGE_EXECUTABLES or CPACK_CREATE_DESKTOP_LINKS names "
            "\"${name}\", but the installed files hold ${count} files of that name "
            "(looked for ${folder}/${name} first)")
  endif()
  string(REPLACE "|" ";" found "${found}")
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# The programs and their shortcuts. CPACK_PACKAGE_EXECUTABLES pairs a program with a label;
# a setup names each shortcut after its program's file, so the labels name nothing.
set(_pack_programs "")
set(_pack_labels "")
set(_pack_pairs ${CPACK_PACKAGE_EXECUTABLES})
list(LENGTH _pack_pairs _pack_count)
set(_pack_index 0)
while(_pack_index LESS _pack_count)
  list(GET _pack_pairs ${_pack_index} _pack_program)
  math(EXPR _pack_index "${_pack_index} + 1")
  if(_pack_index LESS _pack_count)
    list(GET _pack_pairs ${_pack_index} _pack_label)
    math(EXPR _pack_index "${_pack_index} + 1")
    if(NOT _pack_label STREQUAL _pack_program)
      list(APPEND _pack_labels "\"${_pack_label}\" (${_pack_program})")
    endif()
  endif()
  list(APPEND _pack_programs "${_pack_program}")
endwhile()
foreach(_pack_program IN LISTS CPACK_CREATE_DESKTOP_LINKS)
  list(APPEND _pack_programs "${_pack_program}")
endforeach()
list(REMOVE_DUPLICATES _pack_programs)
if(_pack_labels)
  string(REPLACE ";" ", " _pack_labels "${_pack_labels}")
  message(STATUS "pack: shortcuts are named after their programs' files; the labels "
          "${_pack_labels} of CPACK_PACKAGE_EXECUTABLES name none")
endif()

set(_pack_file_lines "")
set(_pack_options "")
foreach(_pack_program IN LISTS _pack_programs)
  _pack_find_program(_pack_found "${_pack_program}")
  list(GET _pack_found 0 _pack_tree)
  list(GET _pack_found 1 _pack_relative)
  set(_pack_flags "")
  if(_pack_program IN_LIST CPACK_PACKAGE_EXECUTABLES)
    string(APPEND _pack_flags " programs")
    set(_pack_default_programs 1)
  endif()
  if(_pack_program IN_LIST CPACK_CREATE_DESKTOP_LINKS)
    string(APPEND _pack_flags " desktop")
    set(_pack_default_desktop 1)
  endif()
  string(REPLACE "/" "\\" _pack_target "${_pack_relative}")
  _pack_quoted(_pack_target "${_pack_target}")
  _pack_quoted(_pack_source "${_pack_tree}/${_pack_relative}")
  string(APPEND _pack_file_lines "${_pack_target} = ${_pack_source} |${_pack_flags}\n")
endforeach()
if(_pack_default_programs)
  string(APPEND _pack_options "default_programs = 1\n")
endif()
if(_pack_default_desktop)
  string(APPEND _pack_options "default_desktop = 1\n")
endif()

# The licence, only when the project gives one: CPack's default is a text of its own
# (Templates/CPack.GenericLicense.txt). A text is put in an HTML page, which is what the
# setup shows.
set(_pack_license "${CPACK_RESOURCE_FILE_LICENSE}")
if(_pack_license AND NOT _pack_license MATCHES "/Templates/CPack\\.GenericLicense\\.txt$")
  if(_pack_license MATCHES "\\.[hH][tT][mM][lL]?$")
    get_filename_component(_pack_license_target "${_pack_license}" NAME)
  else()
    file(READ "${_pack_license}" _pack_text)
    string(REPLACE "&" "&amp;" _pack_text "${_pack_text}")
    string(REPLACE "<" "&lt;" _pack_text "${_pack_text}")
    string(REPLACE ">" "&gt;" _pack_text "${_pack_text}")
    file(WRITE "${_pack_work}/license.htm"
         "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
         "<title>${CPACK_PACKAGE_NAME} licence</title></head>\n<body><pre>\n"
         "${_pack_text}</pre></body></html>\n")
    set(_pack_license "${_pack_work}/license.htm")
    set(_pack_license_target "license.htm")
  endif()
  _pack_quoted(_pack_target "${_pack_license_target}")
  _pack_quoted(_pack_source "${_pack_license}")
  string(APPEND _pack_file_lines "${_pack_target} = ${_pack_source} | license\n")
endif()

# The manifest: the product, then each staged tree whole, then the lines above, which
# replace the trees' plain entries for those files.
set(_pack_manifest "; Written by pack's CPack script for ${CPACK_PACKAGE_NAME}.\n[product]\n")
string(APPEND _pack_manifest "name = ${CPACK_PACKAGE_NAME}\nversion = ${CPACK_PACKAGE_VERSION}\n")
foreach(_pack_key window_class arch icon copyright)
  string(TOUPPER "CPACK_PACK_${_pack_key}" _pack_variable)
  if(NOT "${${_pack_variable}}" STREQUAL "")
    string(APPEND _pack_manifest "${_pack_key} = ${${_pack_variable}}\n")
  endif()
endforeach()
# CPack's default vendor is a placeholder; a project's own names the company.
if(CPACK_PACKAGE_VENDOR AND NOT CPACK_PACKAGE_VENDOR STREQUAL "Humanity")
  string(APPEND _pack_manifest "company = ${CPACK_PACKAGE_VENDOR}\n")
endif()
string(APPEND _pack_manifest "[options]\n${_pack_options}[files]\n")
foreach(_pack_tree IN LISTS _pack_trees)
  _pack_quoted(_pack_source "${_pack_tree}/")
  string(APPEND _pack_manifest "\\ = ${_pack_source}\n")
endforeach()
string(APPEND _pack_manifest "${_pack_file_lines}")
set(_pack_manifest_file "${_pack_work}/setup.ini")
file(WRITE "${_pack_manifest_file}" "${_pack_manifest}")

# pack, with the stub and uninstaller of the kind asked for where the package names them
# (a build folder); an installed pack finds its own.
set(_pack_setup "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.exe")
set(_pack_command "${CPACK_PACK_EXECUTABLE}" "${_pack_manifest_file}" -o "${_pack_setup}")
if(CPACK_PACK_ARCH STREQUAL "x64" AND CPACK_PACK_PARTS_X64)
  list(APPEND _pack_command --stub "${CPACK_PACK_PARTS_X64}/setup-stub-x64.exe"
       --uninstaller "${CPACK_PACK_PARTS_X64}/uninstall-x64.exe")
elseif(CPACK_PACK_ARCH STREQUAL "x86" AND CPACK_PACK_PARTS_X86)
  list(APPEND _pack_command --stub "${CPACK_PACK_PARTS_X86}/setup-stub.exe"
       --uninstaller "${CPACK_PACK_PARTS_X86}/uninstall.exe")
endif()
if(NOT "${CPACK_PACK_SIGN_COMMAND}" STREQUAL "")
  list(APPEND _pack_command --sign "${CPACK_PACK_SIGN_COMMAND}")
endif()
execute_process(COMMAND ${_pack_command} RESULT_VARIABLE _pack_result
                OUTPUT_VARIABLE _pack_output ERROR_VARIABLE _pack_errors)
if(NOT _pack_result EQUAL 0)
  # Indented, pack's lines stand as they are: message() rewraps only unindented text.
  string(STRIP "${_pack_errors}" _pack_errors)
  string(REPLACE "\n" "\n  " _pack_errors "  ${_pack_errors}")
  message(FATAL_ERROR "pack refused the setup of ${CPACK_PACKAGE_NAME} (the manifest "
          "${_pack_manifest_file}):\n${_pack_errors}\n")
endif()
string(STRIP "${_pack_output}" _pack_output)
message(STATUS "pack: ${_pack_output}")
set(CPACK_EXTERNAL_BUILT_PACKAGES "${_pack_setup}")
