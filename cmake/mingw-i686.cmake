# Cross build for 32-bit Windows with mingw-w64: the shipped program.
set(ORVO_MINGW_ARCH i686)
set(ORVO_MINGW_EMULATOR wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
