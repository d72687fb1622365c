# Cross-builds for 64-bit Windows with Debian's mingw-w64 (posix threads, so
# that std::thread works), linking everything statically: the .exe runs alone.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(REPNG_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${REPNG_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${REPNG_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${REPNG_MINGW_HOST}-windres)
set(CMAKE_ASM_NASM_COMPILER nasm)

# Libraries and headers come only from the mingw sysroot and from the cache
# of cross-built codec libraries (named in CMAKE_PREFIX_PATH, which lies
# inside one of these roots and so is searched as it is).
if(DEFINED ENV{REPNG_MINGW_CACHE})
  set(REPNG_MINGW_CACHE $ENV{REPNG_MINGW_CACHE})
else()
  set(REPNG_MINGW_CACHE /var/cache/repng-mingw)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${REPNG_MINGW_HOST} ${REPNG_MINGW_CACHE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
