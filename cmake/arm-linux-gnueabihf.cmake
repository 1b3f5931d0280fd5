# CMake toolchain file for Debian's 32-bit ARM hard-float cross compiler
# (packages g++-arm-linux-gnueabihf, binutils-arm-linux-gnueabihf, qemu-user):
# ARMv7-A, Thumb-2, VFPv3-D16, no NEON unless -mfpu=neon is added.
#
#   cmake -S . -B build/arm -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
#
# Tests run under qemu-arm emulating a Cortex-A15 (which has NEON, so the
# scanner's run-time choice takes its NEON path).
set(H265_CROSS_TRIPLE arm-linux-gnueabihf)
set(H265_CROSS_PROCESSOR arm)
set(H265_QEMU qemu-arm;-cpu;cortex-a15)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
