# Cross build for 64-bit Windows with MinGW-w64.
#
#   cmake --preset windows        (or -DCMAKE_TOOLCHAIN_FILE=<this file>)
#
# Every .exe is linked statically, so it needs no MinGW runtime DLL beside it,
# and runs under Wine: ctest and test discovery start the programs through
# cmake/wine-run.sh, which keeps its own Wine prefix (LENDREC_WINEPREFIX,
# by default <build dir>/wineprefix), headless and quiet.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The POSIX thread model of MinGW-w64: with GCC 12 only it has std::mutex,
# which GoogleTest needs. Nothing of the record core uses threads.
set(LENDREC_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LENDREC_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LENDREC_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${LENDREC_MINGW_TRIPLET}-windres)

# Headers and libraries come from the MinGW-w64 sysroot only; programs such
# as Wine or the host's tools come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${LENDREC_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLL at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

if(NOT DEFINED LENDREC_WINEPREFIX)
  set(LENDREC_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH
      "Wine prefix in which the Windows programs and tests run")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    /bin/bash "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh" "${LENDREC_WINEPREFIX}")
