# GoogleTest as GTest::gtest and GTest::gtest_main in every build.
# Natively: Debian's packaged libraries. For Windows: Debian's sources (/usr/src/googletest)
# built once per build tree, statically, with the cross compiler.
include_guard(GLOBAL)

if(NOT WIN32)
  find_package(GTest REQUIRED)
  return()
endif()

set(QM_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows builds")
if(NOT EXISTS ${QM_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources missing at ${QM_GTEST_SOURCE_DIR}: run scripts/setup.sh")
endif()

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_SHARED_LIBS OFF)
add_subdirectory(${QM_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)

foreach(t gtest gtest_main)
  if(NOT TARGET GTest::${t})
    add_library(GTest::${t} ALIAS ${t})
  endif()
endforeach()
