# What the two mingw-w64 cross builds share; the including file sets ORVO_MINGW_ARCH (i686 or
# x86_64) and ORVO_MINGW_EMULATOR (the Wine loader that runs the build's programs). The -posix
# compilers carry the std::thread/std::mutex that GoogleTest needs; everything is linked with
# them so that one libstdc++ is used.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ORVO_MINGW_ARCH})
set(CMAKE_C_COMPILER ${ORVO_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVO_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${ORVO_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORVO_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVO_MINGW_EMULATOR})
