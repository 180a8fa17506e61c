# Toolchain: the shipped 64-bit program, built with the native-threads compilers so that it
# imports only what Windows XP x64 and Server 2003 x64 provide. No test program is built with it.
set(QM_MINGW_TRIPLET x86_64-w64-mingw32)
set(QM_MINGW_THREADS win32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
