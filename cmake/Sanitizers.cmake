# Sanitizer builds, asked for in either of two ways:
#
#   -DH265_SANITIZE=address,undefined      the project's switch (adds no-recover
#                                          and frame pointers as well)
#   -DCMAKE_CXX_FLAGS="-fsanitize=..."     the standard flags, as distributions,
#   -DCMAKE_SHARED_LINKER_FLAGS=...        CI templates and fuzzing services set them
#
# Sets H265_SANITIZERS: the sanitizers in effect from both sources, comma
# separated, empty for a plain build. Tests that cannot run on an instrumented
# build (valgrind, installing into a consumer built without sanitizers) key on it.

if(H265_SANITIZE)
  add_compile_options(-fsanitize=${H265_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${H265_SANITIZE})
endif()

string(TOUPPER "${CMAKE_BUILD_TYPE}" _h265_config)
string(REGEX MATCHALL "-fsanitize=[^ ]+" _h265_flag_sanitizers
  "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${_h265_config}}")
string(REPLACE "-fsanitize=" "" _h265_flag_sanitizers "${_h265_flag_sanitizers}")
set(H265_SANITIZERS ${H265_SANITIZE} ${_h265_flag_sanitizers})
list(JOIN H265_SANITIZERS "," H265_SANITIZERS)

# h265_no_undefined_links(<result-var>)
#
# Sets <result-var> to whether a shared library built with the flags in effect
# links with -Wl,--no-undefined, by building a small instrumented one
# (cmake/no-undefined-probe). g++ links its sanitizer runtimes into shared
# objects; clang links them (and libFuzzer's coverage callbacks) into
# executables only, unless -shared-libsan is given, and leaves the shared
# object's __asan_*/__ubsan_* references to the program that loads it. The
# answer is cached per set of flags, so a reconfigure with other flags asks
# again.
function(h265_no_undefined_links result)
  set(flags "${CMAKE_CXX_COMPILER}|${CMAKE_TOOLCHAIN_FILE}|${H265_SANITIZE}|${CMAKE_CXX_FLAGS}"
            "${CMAKE_CXX_FLAGS_${_h265_config}}|${CMAKE_SHARED_LINKER_FLAGS}"
            "${CMAKE_SHARED_LINKER_FLAGS_${_h265_config}}")
  string(MD5 key "${flags}")
  if(DEFINED CACHE{H265_NO_UNDEFINED_${key}})
    set(${result} ${H265_NO_UNDEFINED_${key}} PARENT_SCOPE)
    return()
  endif()
  try_compile(links ${PROJECT_BINARY_DIR}/no-undefined-probe
    ${PROJECT_SOURCE_DIR}/cmake/no-undefined-probe NoUndefinedProbe
    CMAKE_FLAGS
      "-DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}"
      "-DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}"
      "-DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}"
      "-DCMAKE_CXX_FLAGS=${CMAKE_CXX_FLAGS}"
      "-DCMAKE_CXX_FLAGS_${_h265_config}=${CMAKE_CXX_FLAGS_${_h265_config}}"
      "-DCMAKE_SHARED_LINKER_FLAGS=${CMAKE_SHARED_LINKER_FLAGS}"
      "-DCMAKE_SHARED_LINKER_FLAGS_${_h265_config}=${CMAKE_SHARED_LINKER_FLAGS_${_h265_config}}"
      "-DPROBE_SANITIZE=${H265_SANITIZE}"
    OUTPUT_VARIABLE log)
  if(links)
    message(STATUS "Shared library links with --no-undefined: yes")
  else()
    message(STATUS "Shared library links with --no-undefined: no (sanitizer runtime left to executables)")
  endif()
  set(H265_NO_UNDEFINED_${key} ${links} CACHE INTERNAL "--no-undefined links with: ${flags}")
  set(${result} ${links} PARENT_SCOPE)
endfunction()
