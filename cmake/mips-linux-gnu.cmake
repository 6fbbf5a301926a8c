# 32-bit big-endian MIPS (MIPS32r2, o32) with the Debian cross toolchain:
#   apt-get install g++-mips-linux-gnu qemu-user
# Debian has no multiarch packages for it: GoogleTest, built from /usr/src/googletest, comes from a
# staging directory given as CMAKE_FIND_ROOT_PATH (see the Makefile). Tests run here under qemu-mips.
set(CMAKE_SYSTEM_PROCESSOR mips)
set(OZU_TRIPLET mips-linux-gnu)
set(OZU_QEMU qemu-mips)
include(${CMAKE_CURRENT_LIST_DIR}/debian_cross.cmake)
