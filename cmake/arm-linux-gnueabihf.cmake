# 32-bit ARM (ARMv7-A, hard float) with the Debian cross toolchain and multiarch armhf packages:
#   apt-get install g++-arm-linux-gnueabihf qemu-user libgtest-dev:armhf libssl-dev:armhf
# Tests run here under qemu-arm.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(OZU_TRIPLET arm-linux-gnueabihf)
set(OZU_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian_cross.cmake)
