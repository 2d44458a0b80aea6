# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix-threads compiler, so
# that std::thread and std::mutex work), running the built programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QELP_MINGW_TRIPLET x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${QELP_MINGW_TRIPLET}-gcc-posix ${QELP_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QELP_MINGW_TRIPLET}-g++-posix ${QELP_MINGW_TRIPLET}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QELP_MINGW_TRIPLET}-windres)

# Headers and libraries of the target only; programs (moc, uic of a Qt given by
# CMAKE_PREFIX_PATH excepted) come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QELP_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Each .exe runs alone: the compiler's runtime and winpthread are linked in statically, so a
# driver author copies one file and needs no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and the tools run here through Wine, in a prefix of the build tree's own so that a
# run never touches the user's Wine set-up (see the windows test preset's environment).
find_program(QELP_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(QELP_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QELP_WINE})
endif()
