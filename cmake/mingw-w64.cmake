# The settings both MinGW-w64 cross builds share; the toolchain file of each sets
# SCALEBOOT_MINGW_TRIPLE (x86_64-w64-mingw32 or i686-w64-mingw32) and CMAKE_SYSTEM_PROCESSOR, then includes this.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${SCALEBOOT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SCALEBOOT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SCALEBOOT_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SCALEBOOT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Test programs run under Wine in a private prefix of the build folder, created on first use.
get_filename_component(_scaleboot_wine_run "${CMAKE_CURRENT_LIST_DIR}/../tests/win32/wine-run.sh" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_scaleboot_wine_run}")
# One self-contained executable: the C and C++ runtimes linked in. No link time in the PE header, so the same
# sources give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp")
