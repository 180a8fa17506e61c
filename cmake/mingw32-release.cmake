# Toolchain: the shipped 32-bit program, built with the native-threads compilers so that it
# imports only what Windows 2000 provides. No test program is built with it.
set(QM_MINGW_TRIPLET i686-w64-mingw32)
set(QM_MINGW_THREADS win32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
