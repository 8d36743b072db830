# Cross-build for 32-bit Windows with Debian's MinGW-w64 compilers
# (g++-mingw-w64-i686-posix). The engine's home target: vrel.dll with
# stdcall exports.
set(VREL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
