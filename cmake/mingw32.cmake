# Toolchain: 32-bit Windows with MinGW-w64 (posix threads), static runtime. Its test programs
# and helper tools run under 32-bit Wine (wine32), in 32-bit prefixes.
set(QM_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
