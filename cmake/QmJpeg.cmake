# libjpeg as the one target qm::jpeg in every build.
# Natively: Debian's libjpeg-dev. For Windows: libjpeg-turbo from Debian's source package,
# built once per target triplet and compiler variant as a static library without SIMD, and
# kept in a cache outside the repository (QM_CACHE_DIR) so fresh clones and new build trees
# reuse it.
# Concurrent configures of several build trees serialise on a lock file.
include_guard(GLOBAL)

add_library(qm_jpeg INTERFACE)
add_library(qm::jpeg ALIAS qm_jpeg)

if(NOT WIN32)
  find_package(JPEG REQUIRED)
  target_link_libraries(qm_jpeg INTERFACE JPEG::JPEG)
  return()
endif()

if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(qm_default_cache $ENV{XDG_CACHE_HOME}/quelmark)
else()
  set(qm_default_cache $ENV{HOME}/.cache/quelmark)
endif()
set(QM_CACHE_DIR ${qm_default_cache} CACHE PATH "Cache for third-party builds, outside the repository")

function(qm_jpeg_run what logfile)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_FILE ${logfile} ERROR_FILE ${logfile}.err)
  if(NOT rc EQUAL 0)
    file(READ ${logfile}.err err)
    message(FATAL_ERROR "libjpeg-turbo: ${what} failed (${rc}); see ${logfile}\n${err}")
  endif()
endfunction()

# Fetches and unpacks the source package into <root>/src once; sets <out_var> to it.
function(qm_jpeg_fetch_source root out_var)
  set(src ${root}/src)
  if(NOT EXISTS ${src}/.complete)
    message(STATUS "libjpeg-turbo: fetching Debian's source package")
    file(REMOVE_RECURSE ${src} ${root}/fetch)
    file(MAKE_DIRECTORY ${root}/fetch)
    qm_jpeg_run("apt-get source" ${root}/fetch.log
                apt-get source -qq libjpeg-turbo WORKING_DIRECTORY ${root}/fetch)
    file(GLOB unpacked LIST_DIRECTORIES true ${root}/fetch/libjpeg-turbo-*)
    list(FILTER unpacked EXCLUDE REGEX "\\.(tar\\..*|dsc)$")
    list(LENGTH unpacked n)
    if(NOT n EQUAL 1)
      message(FATAL_ERROR "libjpeg-turbo: expected one unpacked source tree, found: ${unpacked}")
    endif()
    file(RENAME ${unpacked} ${src})
    file(REMOVE_RECURSE ${root}/fetch)
    file(TOUCH ${src}/.complete)
  endif()
  set(${out_var} ${src} PARENT_SCOPE)
endfunction()

# Builds the static library for this toolchain into <root>/<key> once; the key names the
# target and, for compilers other than the posix ones, their threading model, so the library
# is compiled by the same compiler as the program that links it.
function(qm_jpeg_build root src out_var)
  set(prefix ${root}/${qm_jpeg_key})
  if(NOT EXISTS ${prefix}/.complete)
    message(STATUS "libjpeg-turbo: building for ${qm_jpeg_key} (once)")
    set(bld ${root}/build-${qm_jpeg_key})
    file(REMOVE_RECURSE ${bld} ${prefix})
    qm_jpeg_run("configure" ${root}/configure-${qm_jpeg_key}.log
      ${CMAKE_COMMAND} -G Ninja -S ${src} -B ${bld}
        -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=${prefix}
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON
        -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF)
    qm_jpeg_run("build" ${root}/build-${qm_jpeg_key}.log
      ${CMAKE_COMMAND} --build ${bld} --target jpeg-static -j 2)
    file(MAKE_DIRECTORY ${prefix}/include ${prefix}/lib)
    file(COPY ${src}/jpeglib.h ${src}/jerror.h ${src}/jmorecfg.h ${bld}/jconfig.h
         DESTINATION ${prefix}/include)
    file(COPY ${bld}/libjpeg.a DESTINATION ${prefix}/lib)
    file(REMOVE_RECURSE ${bld})
    file(TOUCH ${prefix}/.complete)
  endif()
  set(${out_var} ${prefix} PARENT_SCOPE)
endfunction()

if(NOT QM_MINGW_TRIPLET)
  # A toolchain file other than ours: name the build after the compiler's target.
  execute_process(COMMAND ${CMAKE_C_COMPILER} -dumpmachine OUTPUT_VARIABLE QM_MINGW_TRIPLET
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

set(qm_jpeg_key ${QM_MINGW_TRIPLET})
if(QM_MINGW_THREADS AND NOT QM_MINGW_THREADS STREQUAL "posix")
  string(APPEND qm_jpeg_key -${QM_MINGW_THREADS})
endif()
set(qm_jpeg_root ${QM_CACHE_DIR}/libjpeg-turbo)
file(MAKE_DIRECTORY ${qm_jpeg_root})
file(LOCK ${qm_jpeg_root}/.lock GUARD FILE TIMEOUT 1800)
qm_jpeg_fetch_source(${qm_jpeg_root} qm_jpeg_src)
qm_jpeg_build(${qm_jpeg_root} ${qm_jpeg_src} qm_jpeg_prefix)
file(LOCK ${qm_jpeg_root}/.lock RELEASE)

add_library(qm_jpeg_static STATIC IMPORTED GLOBAL)
set_target_properties(qm_jpeg_static PROPERTIES
  IMPORTED_LOCATION ${qm_jpeg_prefix}/lib/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES ${qm_jpeg_prefix}/include)
target_link_libraries(qm_jpeg INTERFACE qm_jpeg_static)
