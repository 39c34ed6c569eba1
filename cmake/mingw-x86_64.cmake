# Cross-compiles for 64-bit Windows with the x86_64 mingw-w64 compilers
# (Debian: g++-mingw-w64-x86-64). Only the Wine tests use it, on hosts whose
# Wine cannot load 32-bit programs.
set(PELMORIX_MINGW_PREFIX x86_64-w64-mingw32 CACHE STRING "Target triplet of the mingw-w64 tools")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
