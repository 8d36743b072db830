# Shared part of the MinGW-w64 toolchain files; VREL_MINGW_TRIPLE names the
# target (i686-w64-mingw32 or x86_64-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
if(VREL_MINGW_TRIPLE MATCHES "^i686")
  set(CMAKE_SYSTEM_PROCESSOR x86)
else()
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
endif()

# The posix thread-model compilers: the C++20 standard library is complete
# there. Plain names are used when the -posix ones are not installed.
foreach(lang C CXX)
  if(lang STREQUAL "C")
    set(tool gcc)
  else()
    set(tool g++)
  endif()
  find_program(VREL_MINGW_${lang} NAMES ${VREL_MINGW_TRIPLE}-${tool}-posix ${VREL_MINGW_TRIPLE}-${tool}
    REQUIRED)
  set(CMAKE_${lang}_COMPILER ${VREL_MINGW_${lang}})
endforeach()
find_program(CMAKE_RC_COMPILER NAMES ${VREL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into the DLL and the programs, so that
# they need nothing beyond the system DLLs (KERNEL32, msvcrt).
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")


# dlltool makes the 32-bit import library from the stdcall export list.
find_program(CMAKE_DLLTOOL NAMES ${VREL_MINGW_TRIPLE}-dlltool)
