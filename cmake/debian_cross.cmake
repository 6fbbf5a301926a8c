# The toolchain files' common part: Debian's cross compiler OZU_TRIPLET-g++, the target's programs
# run under OZU_QEMU, and its libraries and packages looked for only on the target's side.
# A firmware build passes its own root file system as CMAKE_SYSROOT, and its staging directories
# as CMAKE_FIND_ROOT_PATH; the build machine's multiarch packages then stay out of sight.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${OZU_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${OZU_TRIPLET}-g++)

set(CMAKE_LIBRARY_ARCHITECTURE ${OZU_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(CMAKE_SYSROOT)
  set(OZU_TARGET_RUNTIME ${CMAKE_SYSROOT})
else()
  # Multiarch libraries and their CMake packages live in /usr/lib/OZU_TRIPLET; the cross runtime
  # lives in /usr/OZU_TRIPLET.
  set(OZU_TARGET_RUNTIME /usr/${OZU_TRIPLET})
  list(APPEND CMAKE_FIND_ROOT_PATH ${OZU_TARGET_RUNTIME} /)
  # pkg-config would otherwise hand out the build machine's libraries (FindOpenSSL asks it first).
  set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${OZU_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
endif()
# A toolchain file is read more than once in a configuration.
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)

# The C and C++ runtime come from the cross toolchain's directory (or the sysroot). When a
# multiarch libc6 of the target is installed too (OpenSSL and GoogleTest for armhf pull it in),
# the loader would otherwise pick its libc, which need not match the toolchain's loader, and
# threaded programs crash. QEMU_LD_PREFIX carries the same choice to the target's programs that
# a test starts itself, where binfmt_misc runs them under qemu.
set(CMAKE_CROSSCOMPILING_EMULATOR ${OZU_QEMU} -L ${OZU_TARGET_RUNTIME}
    -E LD_LIBRARY_PATH=${OZU_TARGET_RUNTIME}/lib:${OZU_TARGET_RUNTIME}/usr/lib
    -E QEMU_LD_PREFIX=${OZU_TARGET_RUNTIME})
