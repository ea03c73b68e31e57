# GoogleTest, built from its sources by each build's own compiler: the MinGW compilers for
# the test programs run under Wine, the host's for the build machine's tests (packer/posix).
# A library built for the build machine would not link into a Windows program, so this
# looks for the sources, never a built library: Debian's package googletest puts them in
# /usr/src/googletest. The search ignores the MinGW toolchain's find root (/usr/<triplet>),
# which holds the Windows libraries only.
find_path(GOOGLETEST_SOURCE_DIR
  NAMES googletest/include/gtest/gtest.h
  PATHS /usr/src/googletest
  NO_CMAKE_FIND_ROOT_PATH
  DOC "GoogleTest's source tree (the folder holding googletest/), built by this build's compiler")
if(NOT EXISTS "${GOOGLETEST_SOURCE_DIR}/googletest/include/gtest/gtest.h")
  message(FATAL_ERROR "GoogleTest's sources were not found: no "
    "googletest/include/gtest/gtest.h in GOOGLETEST_SOURCE_DIR (${GOOGLETEST_SOURCE_DIR}; "
    "the default is /usr/src/googletest). On Debian install the package googletest "
    "(`make deps` does, or `apt-get install googletest`), or name GoogleTest's source tree "
    "with -DGOOGLETEST_SOURCE_DIR=<folder>.")
endif()

# Adds GoogleTest's targets (gtest, gtest_main) to this build, built only where a test links
# them, with the static C runtime and without GoogleMock.
function(add_googletest)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endfunction()
