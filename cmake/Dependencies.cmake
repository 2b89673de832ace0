# libjpeg-turbo: on Linux the static cross-build that scripts/setup caches (in $TARNWICK_CACHE,
# /var/cache/tarnwick when unset, as setup does); on Windows vcpkg's or MSYS2's package.
if(NOT "$ENV{TARNWICK_CACHE}" STREQUAL "")
  set(tarnwick_cache "$ENV{TARNWICK_CACHE}")
else()
  set(tarnwick_cache /var/cache/tarnwick)
endif()
set(TARNWICK_JPEG_ROOT "${tarnwick_cache}/libjpeg-turbo-mingw64" CACHE PATH
    "Prefix of the cross-built static libjpeg-turbo")
if(CMAKE_CROSSCOMPILING AND EXISTS "${TARNWICK_JPEG_ROOT}/lib/libjpeg.a")
  add_library(tarnwick_jpeg STATIC IMPORTED)
  set_target_properties(tarnwick_jpeg PROPERTIES
    IMPORTED_LOCATION "${TARNWICK_JPEG_ROOT}/lib/libjpeg.a"
    INTERFACE_INCLUDE_DIRECTORIES "${TARNWICK_JPEG_ROOT}/include")
else()
  find_package(JPEG REQUIRED)
  add_library(tarnwick_jpeg INTERFACE)
  target_link_libraries(tarnwick_jpeg INTERFACE JPEG::JPEG)
endif()

# GoogleTest: Debian ships its sources, built here with the cross compiler.
function(tarnwick_add_googletest)
  if(EXISTS /usr/src/googletest/CMakeLists.txt AND CMAKE_CROSSCOMPILING)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
  endif()
endfunction()
