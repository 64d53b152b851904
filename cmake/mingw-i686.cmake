# Cross build of the 32-bit Windows program with Debian's MinGW-w64.
# The -posix compilers give std::thread; linked with -static the exe still imports system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TZ594K_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TZ594K_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TZ594K_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TZ594K_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TZ594K_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
find_program(TZ594K_WINE wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TZ594K_WINE})
