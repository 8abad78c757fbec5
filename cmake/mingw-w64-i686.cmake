# Cross build for 32-bit Windows with Debian's MinGW-w64 (posix threads); tests run under Wine, whose 32-bit
# part (wine32) runs them.
set(SCALEBOOT_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake")
