# Cross-compiles the Windows module (32-bit) with Debian's mingw-w64 toolchain (i686-w64-mingw32).
# The posix thread-model compilers are preferred; their libwinpthread is linked statically.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VOR_MINGW_TRIPLE i686-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${VOR_MINGW_TRIPLE}-gcc-posix ${VOR_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VOR_MINGW_TRIPLE}-g++-posix ${VOR_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VOR_MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${VOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
