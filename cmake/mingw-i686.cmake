# Cross-compiles for 32-bit Windows with the i686 mingw-w64 compilers
# (Debian: g++-mingw-w64-i686).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(PELMORIX_MINGW_PREFIX i686-w64-mingw32 CACHE STRING "Target triplet of the mingw-w64 tools")
set(CMAKE_C_COMPILER ${PELMORIX_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${PELMORIX_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${PELMORIX_MINGW_PREFIX}-windres)

# Libraries and headers come from the target's own tree, programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${PELMORIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
