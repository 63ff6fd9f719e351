# Debian packages with CPack (`cpack -G DEB` in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr), one per install component:
#   lendrec          the desk program (component desk)
#   liblendrec-dev   headers, library, CMake package, lendrec.pc (dev)
# Each carries the copyright and changelog that Debian asks of a package,
# installed only by the packages, not by a plain `cmake --install`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lendrec)
set(CPACK_PACKAGE_VENDOR "the lendrec developers")
set(CPACK_PACKAGE_CONTACT "lendrec developers <lendrec@lendrec.invalid>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://lendrec.invalid/")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL desk dev)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DESK_PACKAGE_NAME lendrec)
set(CPACK_DEBIAN_DESK_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_DESK_DESCRIPTION "circulation desk of a lending library
The lendrec command keeps a small library's books, users and loans in
plain comma-separated record files: lend, return, list and check them
from the shell.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME liblendrec-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DESCRIPTION "record-keeping core of a lending library (development files)
lendrec keeps books, users and loans as heap records in a generic list,
validates phone numbers and dates, and saves whole lists to
comma-separated record files and loads them back, behind a plain C API.
.
This package holds the C headers, the library, the CMake package
(find_package(lendrec)) and the pkg-config file.")

# copyright and changelog.gz for /usr/share/doc/<package>.
find_program(LENDREC_GZIP gzip)
set(LENDREC_DEBIAN_DOCS "${PROJECT_BINARY_DIR}/debian-docs")
file(WRITE "${LENDREC_DEBIAN_DOCS}/changelog"
"lendrec (${PROJECT_VERSION}) unstable; urgency=medium

  * Installable library, CMake package, pkg-config file and Debian packages.

 -- ${CPACK_PACKAGE_CONTACT}  Mon, 07 Dec 2026 12:00:00 +0000
")
if(LENDREC_GZIP)
  execute_process(COMMAND "${LENDREC_GZIP}" -9nf "${LENDREC_DEBIAN_DOCS}/changelog")
endif()
foreach(component desk dev)
  if(NOT LENDREC_GZIP)
    break()
  endif()
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" RENAME copyright
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}"
          COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES "${LENDREC_DEBIAN_DOCS}/changelog.gz"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}"
          COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
