# Cross-compiling toolchain for 64-bit Windows with Debian's mingw-w64
# (g++-mingw-w64-x86-64, mingw-w64-tools). Used by scripts/windows-test:
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The POSIX threading flavour of the compiler is used: GCC 12's Win32 flavour
# has no std::mutex or std::thread. Its thread library (winpthread) is linked
# statically like libgcc and libstdc++ (-static below), so that the DLLs and
# programs built here need no MinGW runtime DLL beside them: a COM host loads
# an in-process server from wherever the registry says, where such DLLs are
# not found, and the load then fails with no message.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PE_MINGW_PREFIX x86_64-w64-mingw32)

find_program(PE_MINGW_CXX NAMES ${PE_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(PE_MINGW_CC NAMES ${PE_MINGW_PREFIX}-gcc-posix REQUIRED)
set(CMAKE_CXX_COMPILER ${PE_MINGW_CXX})
set(CMAKE_C_COMPILER ${PE_MINGW_CC})
find_program(PE_WINDRES NAMES ${PE_MINGW_PREFIX}-windres REQUIRED)
set(CMAKE_RC_COMPILER ${PE_WINDRES})

# The IDL compiler for type libraries (component/ passes it the folders of
# Wine's system .idl files and of stdole2.tlb).
find_program(PE_WIDL NAMES ${PE_MINGW_PREFIX}-widl widl REQUIRED)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

set(CMAKE_FIND_ROOT_PATH /usr/${PE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
