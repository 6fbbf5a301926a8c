# 32-bit ARM (hard float) with the Debian cross toolchain and multiarch armhf packages:
#   apt-get install g++-arm-linux-gnueabihf qemu-user libgtest-dev:armhf libssl-dev:armhf
# Tests run here under qemu-arm.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(OZU_ARM_TRIPLET arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${OZU_ARM_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${OZU_ARM_TRIPLET}-g++)

# armhf libraries and their CMake packages live in the multiarch directories
# (/usr/lib/arm-linux-gnueabihf); the cross runtime lives in /usr/arm-linux-gnueabihf.
set(CMAKE_LIBRARY_ARCHITECTURE ${OZU_ARM_TRIPLET})
set(CMAKE_FIND_ROOT_PATH /usr/${OZU_ARM_TRIPLET} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config would otherwise hand out the build machine's libraries (FindOpenSSL asks it first).
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${OZU_ARM_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The C and C++ runtime come from the cross toolchain's directory. When the multiarch
# libc6:armhf is installed too (OpenSSL and GoogleTest for armhf pull it in), the
# loader would otherwise pick its libc, which need not match the toolchain's loader,
# and threaded programs crash. QEMU_LD_PREFIX carries the same choice to ARM programs
# that a test starts itself, where binfmt_misc runs them under qemu.
set(OZU_ARM_RUNTIME /usr/${OZU_ARM_TRIPLET})
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L ${OZU_ARM_RUNTIME}
    -E LD_LIBRARY_PATH=${OZU_ARM_RUNTIME}/lib -E QEMU_LD_PREFIX=${OZU_ARM_RUNTIME})
