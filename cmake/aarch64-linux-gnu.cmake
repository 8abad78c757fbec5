# Cross build for 64-bit ARM Linux (Debian's crossbuild-essential-arm64 and the :arm64 development packages);
# the programs and tests run under qemu-user, which needs no binfmt set-up when named as the emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-aarch64)
# Multiarch: the arm64 libraries live beside the amd64 ones under /, found through their own pkg-config folder.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
