# Shared part of the toolchain files for Debian's cross compilers: included
# by cmake/<triple>.cmake after it sets
#   H265_CROSS_TRIPLE     e.g. arm-linux-gnueabihf
#   H265_CROSS_PROCESSOR  CMAKE_SYSTEM_PROCESSOR, e.g. arm
#   H265_QEMU             the qemu user-mode emulator, with any options
#
# Test binaries are run by ctest (and listed by gtest_discover_tests) through
# the emulator, with Debian's cross sysroot as the dynamic loader's root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${H265_CROSS_PROCESSOR})

set(H265_CROSS_SYSROOT /usr/${H265_CROSS_TRIPLE} CACHE PATH "Target root for qemu -L")

set(CMAKE_C_COMPILER ${H265_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${H265_CROSS_TRIPLE}-g++)

# Binutils for the target; the exported_symbols test uses CMAKE_NM.
find_program(CMAKE_AR ${H265_CROSS_TRIPLE}-ar REQUIRED)
find_program(CMAKE_RANLIB ${H265_CROSS_TRIPLE}-ranlib REQUIRED)
find_program(CMAKE_NM ${H265_CROSS_TRIPLE}-nm REQUIRED)
find_program(CMAKE_OBJDUMP ${H265_CROSS_TRIPLE}-objdump REQUIRED)
find_program(CMAKE_READELF ${H265_CROSS_TRIPLE}-readelf REQUIRED)
find_program(CMAKE_STRIP ${H265_CROSS_TRIPLE}-strip REQUIRED)

set(CMAKE_CROSSCOMPILING_EMULATOR ${H265_QEMU};-L;${H265_CROSS_SYSROOT})

# Libraries and headers come from the cross sysroot; programs from the host.
set(CMAKE_FIND_ROOT_PATH ${H265_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
