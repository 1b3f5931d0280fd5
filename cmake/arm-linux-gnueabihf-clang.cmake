# As arm-linux-gnueabihf.cmake, but compiling with clang for the same target:
# clang finds Debian's cross GCC installation (headers, libstdc++, crt files)
# and links with arm-linux-gnueabihf-ld. Used by scripts/test-all.sh to check
# that the library alone builds warning-free with clang for 32-bit ARM.
include(${CMAKE_CURRENT_LIST_DIR}/arm-linux-gnueabihf.cmake)

set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${H265_CROSS_TRIPLE})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${H265_CROSS_TRIPLE})
