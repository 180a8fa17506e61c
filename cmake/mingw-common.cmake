# Shared part of the MinGW-w64 toolchain files. The caller sets QM_MINGW_TRIPLET and
# CMAKE_SYSTEM_PROCESSOR first, and QM_MINGW_THREADS when it wants other than "posix".
#   posix: the compilers with the winpthreads threading model that std::thread and GoogleTest
#          need; winpthreads imports functions Windows 2000, XP and 2003 lack, so these build
#          the test programs only.
#   win32: the compilers with the native threading model; they build the shipped program.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT QM_MINGW_THREADS)
  set(QM_MINGW_THREADS posix)
endif()

set(CMAKE_C_COMPILER   ${QM_MINGW_TRIPLET}-gcc-${QM_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${QM_MINGW_TRIPLET}-g++-${QM_MINGW_THREADS})
set(CMAKE_RC_COMPILER  ${QM_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The program is copied onto machines that have no MinGW runtime: link every runtime
# library (libgcc, libstdc++, winpthreads) statically so the .exe needs only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
