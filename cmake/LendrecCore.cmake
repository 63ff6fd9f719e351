# The record core, built from source/*.cpp with nothing but include/.
#
# Phone and date validation come in two rules chosen at compile time:
# LENDREC_CHARACTER_RULE defined selects the character rule; otherwise the
# pattern rule is used where <regex.h> exists. Where POSIX regular
# expressions exist both cores are built, so every test runs against each:
#   lendrec_pattern    pattern rule (only where <regex.h> exists)
#   lendrec_character  character rule (everywhere)
#   lendrec            the core selected by LENDREC_VALIDATION
#   lendrec_shared     with -DBUILD_SHARED_LIBS=ON, the installed shared library
include(CheckIncludeFile)
include(GNUInstallDirs)
check_include_file(regex.h LENDREC_HAVE_REGEX_H)

file(GLOB LENDREC_CORE_SOURCES CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/source/*.cpp")

# What every core carries, in the tree and once installed: the headers
# (include/ here, <prefix>/include once installed, reached as <lendrec/...>),
# and the rule's definition. What only the build needs stays build-only.
function(lendrec_core_usage name rule)
  target_include_directories(${name} PUBLIC
    "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>"
    "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
  target_compile_features(${name} PUBLIC $<BUILD_INTERFACE:cxx_std_20>)
  target_link_libraries(${name} PRIVATE $<BUILD_INTERFACE:lendrec_warnings>)
  if(rule STREQUAL "character")
    target_compile_definitions(${name} PUBLIC LENDREC_CHARACTER_RULE)
  endif()
endfunction()

function(lendrec_add_core name rule)
  add_library(${name} STATIC ${LENDREC_CORE_SOURCES})
  lendrec_core_usage(${name} ${rule})
endfunction()

set(LENDREC_RULES character)
if(LENDREC_HAVE_REGEX_H)
  list(PREPEND LENDREC_RULES pattern)
endif()
foreach(rule IN LISTS LENDREC_RULES)
  lendrec_add_core(lendrec_${rule} ${rule})
endforeach()

if(LENDREC_VALIDATION STREQUAL "auto")
  list(GET LENDREC_RULES 0 LENDREC_DEFAULT_RULE)
elseif(LENDREC_VALIDATION IN_LIST LENDREC_RULES)
  set(LENDREC_DEFAULT_RULE ${LENDREC_VALIDATION})
else()
  message(FATAL_ERROR "LENDREC_VALIDATION=${LENDREC_VALIDATION} is not available here (have: ${LENDREC_RULES})")
endif()
add_library(lendrec ALIAS lendrec_${LENDREC_DEFAULT_RULE})
message(STATUS "lendrec: validation rules built: ${LENDREC_RULES}; default: ${LENDREC_DEFAULT_RULE}")

# The library that `cmake --install` installs as lendrec::lendrec, built on
# the default rule: the default core itself (static), or with
# -DBUILD_SHARED_LIBS=ON a shared library of its own beside it, which exports
# the functions marked LENDREC_API and nothing else. The in-tree programs and
# tests keep linking the static cores either way.
if(BUILD_SHARED_LIBS)
  add_library(lendrec_shared SHARED ${LENDREC_CORE_SOURCES})
  lendrec_core_usage(lendrec_shared ${LENDREC_DEFAULT_RULE})
  target_compile_definitions(lendrec_shared PRIVATE LENDREC_BUILDING_SHARED)
  set_target_properties(lendrec_shared PROPERTIES
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR})
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" AND NOT WIN32 AND NOT APPLE)
    set(map "${PROJECT_SOURCE_DIR}/cmake/lendrec-exports.map")
    target_link_options(lendrec_shared PRIVATE "LINKER:--version-script=${map}")
    set_property(TARGET lendrec_shared APPEND PROPERTY LINK_DEPENDS "${map}")
  endif()
  set(LENDREC_INSTALLED_CORE lendrec_shared)
else()
  set(LENDREC_INSTALLED_CORE lendrec_${LENDREC_DEFAULT_RULE})
endif()
set_target_properties(${LENDREC_INSTALLED_CORE} PROPERTIES
  OUTPUT_NAME lendrec
  EXPORT_NAME lendrec)
