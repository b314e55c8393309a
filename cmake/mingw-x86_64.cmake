# Cross build for 64-bit Windows with mingw-w64: the stand-in build for a machine whose kernel
# runs no 32-bit programs, so that Wine can still run the program and its tests there (as a
# 64-bit process: no WOW64 views or redirection). The shipped program is the 32-bit build.
set(ORVO_MINGW_ARCH x86_64)
set(ORVO_MINGW_EMULATOR /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
