# Cross-building for 64-bit Windows with Debian's mingw-w64 (posix threads,
# which std::thread and Qt need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ABSENCE_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ABSENCE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ABSENCE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ABSENCE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ABSENCE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages (Qt, GoogleTest) are found by prefix outside the sysroot.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
