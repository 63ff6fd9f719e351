# Install rules: `cmake --install` puts the headers under include/lendrec/,
# the library chosen in LendrecCore.cmake, the CMake package
# (lib/cmake/lendrec), lendrec.pc, the desk program when it is built, and
# the README and licence. Everything found under the prefix is relative to
# it, so an installed tree may be moved.
#
# Two install components, which the Debian packages follow:
#   desk  the lendrec program and its documents
#   dev   headers, library, CMake package and pkg-config file
include(CMakePackageConfigHelpers)

set(LENDREC_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/lendrec")
if(BUILD_SHARED_LIBS)
  set(LENDREC_SHARED TRUE)
else()
  set(LENDREC_SHARED FALSE)
endif()

# The C++ runtime a static library drags in, for callers that link with a C
# compiler.
set(LENDREC_STATIC_RUNTIME stdc++ m)

file(GLOB LENDREC_PUBLIC_HEADERS "${PROJECT_SOURCE_DIR}/include/*.h")
install(FILES ${LENDREC_PUBLIC_HEADERS} "${PROJECT_BINARY_DIR}/generated/lendrec_version.h"
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/lendrec" COMPONENT dev)

if(NOT LENDREC_SHARED)
  target_link_libraries(${LENDREC_INSTALLED_CORE} INTERFACE
    "$<INSTALL_INTERFACE:${LENDREC_STATIC_RUNTIME}>")
endif()
install(TARGETS ${LENDREC_INSTALLED_CORE} EXPORT lendrecTargets
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT dev
        LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT dev
                NAMELINK_COMPONENT dev
        RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT dev)
install(EXPORT lendrecTargets NAMESPACE lendrec::
        DESTINATION "${LENDREC_CMAKE_DIR}" COMPONENT dev)

configure_package_config_file(cmake/lendrecConfig.cmake.in
  "${PROJECT_BINARY_DIR}/generated/lendrecConfig.cmake"
  INSTALL_DESTINATION "${LENDREC_CMAKE_DIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/generated/lendrecConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES "${PROJECT_BINARY_DIR}/generated/lendrecConfig.cmake"
              "${PROJECT_BINARY_DIR}/generated/lendrecConfigVersion.cmake"
        DESTINATION "${LENDREC_CMAKE_DIR}" COMPONENT dev)

# lendrec.pc finds the prefix from its own place: ${pcfiledir}/../..
file(RELATIVE_PATH LENDREC_PC_TO_PREFIX "/-/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/-")
string(REGEX REPLACE "/$" "" LENDREC_PC_TO_PREFIX "${LENDREC_PC_TO_PREFIX}")
set(LENDREC_PC_CFLAGS "")
if(LENDREC_DEFAULT_RULE STREQUAL "character")
  set(LENDREC_PC_CFLAGS " -DLENDREC_CHARACTER_RULE")
endif()
set(LENDREC_PC_LIBS_PRIVATE "")
if(NOT LENDREC_SHARED)
  list(TRANSFORM LENDREC_STATIC_RUNTIME PREPEND " -l" OUTPUT_VARIABLE LENDREC_PC_LIBS_PRIVATE)
  list(JOIN LENDREC_PC_LIBS_PRIVATE "" LENDREC_PC_LIBS_PRIVATE)
endif()
configure_file(cmake/lendrec.pc.in "${PROJECT_BINARY_DIR}/generated/lendrec.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/generated/lendrec.pc"
        DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig" COMPONENT dev)

if(TARGET lendrec_cli)
  install(TARGETS lendrec_cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT desk)
endif()
install(FILES README.md LICENSE DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT desk)

# `lendrec_installed`: builds what `cmake --install` installs, and no more.
add_custom_target(lendrec_installed)
add_dependencies(lendrec_installed ${LENDREC_INSTALLED_CORE})
if(TARGET lendrec_cli)
  add_dependencies(lendrec_installed lendrec_cli)
endif()

# In a shared build the suite checks the library's exports against the
# headers (the install CI stage does the same on the installed library).
if(LENDREC_BUILD_TESTS AND TARGET lendrec_shared AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME install.exports_only_the_public_api
           COMMAND bash "${PROJECT_SOURCE_DIR}/tests/install/exported_symbols.sh"
                   "$<TARGET_FILE:lendrec_shared>" "${PROJECT_SOURCE_DIR}/include")
endif()
