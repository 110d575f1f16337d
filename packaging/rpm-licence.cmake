# SPDX-License-Identifier: MIT
# Run by cpack as it lays out a package's files: an RPM carries the licence
# where Fedora and openSUSE keep licences (the Debian package has it in its
# copyright file).
if(CPACK_GENERATOR STREQUAL "RPM")
  file(INSTALL ${CPACK_RESOURCE_FILE_LICENSE}
    DESTINATION ${CPACK_PACKAGING_INSTALL_PREFIX}/share/licenses/${CPACK_PACKAGE_NAME})
endif()
