# Shared part of the MinGW-w64 toolchain files. The win32 thread model keeps libwinpthread out.
set(CMAKE_C_COMPILER ${NUPORAKU_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${NUPORAKU_TARGET_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${NUPORAKU_TARGET_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${NUPORAKU_TARGET_TRIPLE}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${NUPORAKU_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run under Wine, in a private prefix on a private virtual display.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/wine-run.sh)
set(NUPORAKU_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources, built for Windows test programs")
