# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 compilers, for Qt's own build
# and for Orlesse's (scripts/build-windows).
#
# The -posix compilers, as in the MinGW kits Qt itself is built with: GCC 12's default win32
# thread model has no std::thread or std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORLESSE_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ORLESSE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORLESSE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORLESSE_MINGW_TRIPLE}-windres)

# Libraries and headers only from the MinGW sysroot and the prefixes a caller adds (the Qt
# for Windows); programs such as moc come from the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${ORLESSE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
