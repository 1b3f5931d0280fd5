# CMake toolchain file for Debian's 32-bit ARM soft-float cross compiler
# (packages g++-arm-linux-gnueabi, binutils-arm-linux-gnueabi, qemu-user):
# ARMv5TE in ARM state, soft-float, no unaligned word loads, as the SoCs of
# many cameras have it.
#
#   cmake -S . -B build/armel -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabi.cmake
#
# Tests run under qemu-arm emulating an ARM926 (ARMv5TEJ).
set(H265_CROSS_TRIPLE arm-linux-gnueabi)
set(H265_CROSS_PROCESSOR arm)
set(H265_QEMU qemu-arm;-cpu;arm926)
set(CMAKE_C_FLAGS_INIT "-march=armv5te -marm -mfloat-abi=soft")
set(CMAKE_CXX_FLAGS_INIT "-march=armv5te -marm -mfloat-abi=soft")
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
