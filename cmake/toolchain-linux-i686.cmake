# Builds for 32-bit x86 Linux on a 64-bit Debian host with gcc-multilib/g++-multilib: -m32 code,
# SSE2 arithmetic (added by the top-level CMakeLists.txt for every 32-bit build), and libraries
# such as GoogleTest found under the i386 multiarch directories.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_LIBRARY_PATH /usr/lib/i386-linux-gnu /lib/i386-linux-gnu)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu
                      /usr/lib/x86_64-linux-gnu/cmake/GTest)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
