# Cross build for 64-bit Windows with MinGW-w64 (Debian's posix-threads flavour).
# Programs built here run under Wine through cmake/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)
set(CMAKE_AR ${mingw_triple}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${mingw_triple}-ranlib CACHE FILEPATH "Ranlib")
set(CMAKE_DLLTOOL ${mingw_triple}-dlltool CACHE FILEPATH "Import library tool")
set(CMAKE_OBJDUMP ${mingw_triple}-objdump CACHE FILEPATH "Object file dumper")

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every Windows program runs under Wine, quietly, in the prefix the tests name.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
