# The record core, built from source/*.cpp with nothing but include/.
#
# Phone and date validation come in two rules chosen at compile time:
# LENDREC_CHARACTER_RULE defined selects the character rule; otherwise the
# pattern rule is used where <regex.h> exists. Where POSIX regular
# expressions exist both cores are built, so every test runs against each:
#   lendrec_pattern    pattern rule (only where <regex.h> exists)
#   lendrec_character  character rule (everywhere)
#   lendrec            the core selected by LENDREC_VALIDATION
include(CheckIncludeFile)
check_include_file(regex.h LENDREC_HAVE_REGEX_H)

file(GLOB LENDREC_CORE_SOURCES CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/source/*.cpp")

function(lendrec_add_core name rule)
  add_library(${name} STATIC ${LENDREC_CORE_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/include")
  target_compile_features(${name} PUBLIC cxx_std_20)
  target_link_libraries(${name} PRIVATE lendrec_warnings)
  if(rule STREQUAL "character")
    target_compile_definitions(${name} PUBLIC LENDREC_CHARACTER_RULE)
  endif()
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
