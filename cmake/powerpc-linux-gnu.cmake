# CMake toolchain file for Debian's 32-bit big-endian PowerPC cross compiler
# (packages g++-powerpc-linux-gnu, binutils-powerpc-linux-gnu, qemu-user):
# the big-endian target on which the word-at-a-time code is tested.
#
#   cmake -S . -B build/ppc -DCMAKE_TOOLCHAIN_FILE=cmake/powerpc-linux-gnu.cmake
#
# Tests run under qemu-ppc.
set(H265_CROSS_TRIPLE powerpc-linux-gnu)
set(H265_CROSS_PROCESSOR powerpc)
set(H265_QEMU qemu-ppc)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
