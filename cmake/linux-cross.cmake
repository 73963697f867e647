# Shared by the ARM toolchain files: Debian's cross compiler for the
# triplet NIMBREL_TRIPLET, the libraries that architecture's multiarch
# -dev packages installed (dpkg --add-architecture), and programs run
# through qemu-user.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER   ${NIMBREL_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${NIMBREL_TRIPLET}-g++)

# Multiarch puts the target's headers and libraries beside the build
# machine's own, so the search stays in / but only finds the target's
# library folder, and pkg-config reads only the target's .pc files.
set(CMAKE_LIBRARY_ARCHITECTURE ${NIMBREL_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${NIMBREL_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Tests run under qemu-user: ctest through this wrapper, the scripts
# through the nimbrel-emulated wrapper the build writes beside the binary.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/qemu-run)
