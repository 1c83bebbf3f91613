# Cross-building for 64-bit Windows with Debian's MinGW-w64 compilers of the
# posix thread model (the win32 model has no std::thread or std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KROVA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KROVA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KROVA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KROVA_MINGW_PREFIX}-windres)
set(CMAKE_AR ${KROVA_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${KROVA_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")
# Libraries and headers of the target come from the sysroot and from the
# prefixes given in CMAKE_PREFIX_PATH / CMAKE_FIND_ROOT_PATH (Qt, hidapi);
# programs run at build time are the host's.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KROVA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
