# SPDX-License-Identifier: MIT
# Read by cpack before it makes a package.

# Every time in the packages is the time of the last commit, so that two
# builds of one commit give the same packages.  In the source archive,
# which has no git, source-date holds that time.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  file(READ ${CMAKE_CURRENT_LIST_DIR}/source-date date)
  if(NOT date MATCHES "^[0-9]+\n$")
    execute_process(COMMAND git -C ${CMAKE_CURRENT_LIST_DIR} log -1 --format=%ct
      OUTPUT_VARIABLE date COMMAND_ERROR_IS_FATAL ANY)
  endif()
  string(STRIP "${date}" date)
  set(ENV{SOURCE_DATE_EPOCH} ${date})
endif()

# The programs need the C library alone, in the newest version of its
# symbols that they use.
if(CPACK_VORMEL_PROGRAMS)
  execute_process(COMMAND ${CPACK_VORMEL_READELF} -dVW ${CPACK_VORMEL_PROGRAMS}
    OUTPUT_VARIABLE elf COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "Shared library: \\[[^]]*\\]" libraries "${elf}")
  list(FILTER libraries EXCLUDE REGEX "\\[(libc\\.so\\.6|ld-linux[^]]*)\\]")
  if(libraries)
    message(FATAL_ERROR "Depends knows the C library only; the programs also need ${libraries}")
  endif()
  string(REGEX MATCHALL "Name: GLIBC_[0-9.]+" versions "${elf}")
  set(newest 0)
  foreach(version IN LISTS versions)
    string(REPLACE "Name: GLIBC_" "" version ${version})
    if(version VERSION_GREATER newest)
      set(newest ${version})
    endif()
  endforeach()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${newest})")
endif()
