# Cross-building the Windows programs with MinGW-w64: 64-bit by default (Debian:
# g++-mingw-w64-x86-64), 32-bit with QUORVEL_WINDOWS_ARCH=i686 (g++-mingw-w64-i686).
# The POSIX thread model: its C++ library has std::mutex, which GoogleTest needs.
set(QUORVEL_WINDOWS_ARCH x86_64 CACHE STRING "The Windows build's processor: x86_64 or i686")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUORVEL_WINDOWS_ARCH})
set(CMAKE_C_COMPILER ${QUORVEL_WINDOWS_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVEL_WINDOWS_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVEL_WINDOWS_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEL_WINDOWS_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
