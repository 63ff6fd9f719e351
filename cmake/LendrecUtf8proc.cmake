# utf8proc, the Unicode tables behind the desk's text rules, as the target
# lendrec_utf8proc.
#
# Native builds use the system's library (Debian: libutf8proc-dev). When
# LENDREC_UTF8PROC_SOURCE names a folder of utf8proc's sources (the Windows
# cross build: Debian has no MinGW build of it, so .ci/windows.sh unpacks
# Debian's source package), utf8proc.c is compiled here as a static library
# instead; it includes its own tables (utf8proc_data.c).
set(LENDREC_UTF8PROC_SOURCE "" CACHE PATH
    "A folder of utf8proc's sources to build it from, instead of the system's library")

if(TARGET lendrec_utf8proc)
  return()
endif()
add_library(lendrec_utf8proc INTERFACE)

if(LENDREC_UTF8PROC_SOURCE)
  if(NOT EXISTS "${LENDREC_UTF8PROC_SOURCE}/utf8proc.c")
    message(FATAL_ERROR "LENDREC_UTF8PROC_SOURCE: no utf8proc.c in ${LENDREC_UTF8PROC_SOURCE}")
  endif()
  add_library(lendrec_utf8proc_static STATIC "${LENDREC_UTF8PROC_SOURCE}/utf8proc.c")
  target_compile_definitions(lendrec_utf8proc_static PUBLIC UTF8PROC_STATIC)
  target_include_directories(lendrec_utf8proc_static SYSTEM PUBLIC "${LENDREC_UTF8PROC_SOURCE}")
  target_link_libraries(lendrec_utf8proc INTERFACE lendrec_utf8proc_static)
else()
  find_path(LENDREC_UTF8PROC_INCLUDE_DIR utf8proc.h)
  find_library(LENDREC_UTF8PROC_LIBRARY utf8proc)
  if(NOT LENDREC_UTF8PROC_INCLUDE_DIR OR NOT LENDREC_UTF8PROC_LIBRARY)
    message(FATAL_ERROR "utf8proc is missing (Debian: libutf8proc-dev; cross builds: "
                        "set LENDREC_UTF8PROC_SOURCE to its sources)")
  endif()
  target_include_directories(lendrec_utf8proc SYSTEM INTERFACE "${LENDREC_UTF8PROC_INCLUDE_DIR}")
  target_link_libraries(lendrec_utf8proc INTERFACE "${LENDREC_UTF8PROC_LIBRARY}")
endif()
