# The Windows cross builds (mingw-w64, see cmake/toolchains/): what a Windows build needs that the Linux
# build takes from the distribution.
#
# - fmwrapper_import: the import library of FileMaker's FMWrapper.dll, made by dlltool from our own
#   list of the FM_ operations (sdk/FMWrapper.def). The module links it instead of the simulated host.
# - xplug::minizip: minizip's unzip and zip halves compiled from zlib's sources (Debian ships no minizip
#   for mingw; scripts/setup fetches the sources into .deps/), over mingw's zlib.
# - GTest::gtest, GTest::gtest_main, GTest::gmock: GoogleTest built from Debian's sources
#   (/usr/src/googletest).
# - xplug_windows_link_options(<target>): the link options every Windows binary we ship takes.

# MinGW's C99 printf family: the same formats (%zu, %lld) as on Linux, over the same msvcrt streams.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)

# The module's image must end before the attached jar's offset: Windows release builds optimise for size
# and let the linker drop what nothing uses.
if(MINGW AND (CMAKE_BUILD_TYPE STREQUAL "Release" OR CMAKE_BUILD_TYPE STREQUAL "MinSizeRel"))
  string(REPLACE "-O3" "-Os" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
  string(REPLACE "-O3" "-Os" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")
  add_compile_options(-ffunction-sections -fdata-sections)
endif()

if(NOT CMAKE_DLLTOOL)
  find_program(CMAKE_DLLTOOL NAMES ${XPLUG_MINGW_TRIPLE}-dlltool dlltool REQUIRED)
endif()
if(NOT CMAKE_OBJDUMP)
  find_program(CMAKE_OBJDUMP NAMES ${XPLUG_MINGW_TRIPLE}-objdump objdump REQUIRED)
endif()

set(XPLUG_FMWRAPPER_DEF ${CMAKE_SOURCE_DIR}/sdk/FMWrapper.def)
set(_fmwrapper_lib ${CMAKE_BINARY_DIR}/sdk/libFMWrapper.dll.a)
add_custom_command(OUTPUT ${_fmwrapper_lib}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/sdk
                   COMMAND ${CMAKE_DLLTOOL} --input-def ${XPLUG_FMWRAPPER_DEF} --dllname FMWrapper.dll
                           --output-lib ${_fmwrapper_lib}
                   DEPENDS ${XPLUG_FMWRAPPER_DEF}
                   COMMENT "Making the FMWrapper.dll import library"
                   VERBATIM)
add_custom_target(fmwrapper_import_lib DEPENDS ${_fmwrapper_lib})
add_library(fmwrapper_import INTERFACE)
target_link_libraries(fmwrapper_import INTERFACE ${_fmwrapper_lib})
add_dependencies(fmwrapper_import fmwrapper_import_lib)

# The C++ runtime, libgcc and winpthread are linked in: FileMaker's folder holds none of mingw's DLLs.
function(xplug_windows_link_options target)
  if(NOT MINGW)
    return()
  endif()
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  if(CMAKE_BUILD_TYPE STREQUAL "Release" OR CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
    target_link_options(${target} PRIVATE -s -Wl,--gc-sections)
  endif()
endfunction()

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
set(XPLUG_MINIZIP_SOURCE_DIR ${CMAKE_SOURCE_DIR}/.deps/zlib/contrib/minizip
    CACHE PATH "minizip's sources (zlib's contrib/minizip), fetched by scripts/setup")
if(NOT EXISTS ${XPLUG_MINIZIP_SOURCE_DIR}/unzip.c)
  message(FATAL_ERROR "No minizip sources in ${XPLUG_MINIZIP_SOURCE_DIR}; run scripts/setup windows")
endif()
add_library(xplug_minizip_win STATIC ${XPLUG_MINIZIP_SOURCE_DIR}/unzip.c ${XPLUG_MINIZIP_SOURCE_DIR}/zip.c
                                     ${XPLUG_MINIZIP_SOURCE_DIR}/ioapi.c)
# zlib's own sources, not ours: they build without our warnings.
if(MINGW)
  target_compile_options(xplug_minizip_win PRIVATE -w -Wno-error)
endif()
target_include_directories(xplug_minizip_win SYSTEM PUBLIC ${XPLUG_MINIZIP_SOURCE_DIR})
target_link_libraries(xplug_minizip_win PUBLIC ZLIB::ZLIB)
add_library(xplug::minizip ALIAS xplug_minizip_win)

if(XPLUG_TESTS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(t gtest gtest_main gmock gmock_main)
    target_compile_options(${t} PRIVATE -w)
    if(NOT TARGET GTest::${t})
      add_library(GTest::${t} ALIAS ${t})
    endif()
  endforeach()
endif()
