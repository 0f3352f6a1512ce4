# Cross-compiling for Windows x86-64 with Debian's MinGW-w64 (POSIX threads
# variant, package g++-mingw-w64-x86-64-posix). Used by scripts/test-windows.sh;
# the programs link libgcc, libstdc++ and winpthread statically, so a test binary
# runs under wine (or on Windows) with no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QELT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QELT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QELT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QELT_MINGW_TRIPLE}-windres)

# Headers and libraries come from the target's folder (and from the prefix where
# the script installs GoogleTest), programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QELT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test binaries (and gtest_discover_tests' listing of them) run under wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
