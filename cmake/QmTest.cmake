# qm_add_test_exe(<name> SOURCES <src>... [LIBS <lib>...] [NO_MAIN])
#
# Builds a GoogleTest program. Natively each test case becomes a ctest test. For Windows the
# program's path is recorded in <build>/wine-tests.txt, which scripts/test.sh runs under
# Wine, and a ctest test runs it through tools/wine/run.sh, in a 64-bit prefix for an x86_64
# build and a 32-bit one for an i686 build. Links GTest::gtest_main unless NO_MAIN is given
# (the program then brings its own main()).
include_guard(GLOBAL)
include(GoogleTest)

set(QM_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../tools/wine/run.sh)
cmake_path(NORMAL_PATH QM_WINE_RUN)

function(qm_add_test_exe name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "NO_MAIN" "" "SOURCES;LIBS")
  if(NOT arg_SOURCES)
    message(FATAL_ERROR "qm_add_test_exe(${name}): SOURCES is required")
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest)
  if(NOT arg_NO_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if(WIN32)
    set_property(GLOBAL APPEND PROPERTY QM_WINE_TESTS ${name})
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(arch win32)
    else()
      set(arch win64)
    endif()
    add_test(NAME ${name}
             COMMAND bash ${QM_WINE_RUN} --arch ${arch} --x --timeout 600 $<TARGET_FILE:${name}>)
  else()
    # Discovery runs when ctest starts, not after each link, so a broken program shows as a
    # failing test rather than as a failed build.
    gtest_discover_tests(${name} TEST_PREFIX ${name}. DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# Writes <build>/wine-tests.txt: one Windows test program per line (absolute path). Called
# once at the end of the top-level CMakeLists, after every folder has declared its tests.
function(qm_write_wine_test_list)
  set(out ${CMAKE_BINARY_DIR}/wine-tests.txt)
  if(NOT WIN32)
    file(REMOVE ${out})
    return()
  endif()
  get_property(tests GLOBAL PROPERTY QM_WINE_TESTS)
  set(content "")
  foreach(t IN LISTS tests)
    string(APPEND content "$<TARGET_FILE:${t}>\n")
  endforeach()
  file(GENERATE OUTPUT ${out} CONTENT "${content}")
endfunction()
