# The win32 backend and the program OrvoCleanup.exe (GUI subsystem, manifest and version
# resources, static runtime, system-folder DLL imports only).
enable_language(RC)

add_library(orvo_win32 STATIC
  src/platform/win32/backend.cpp
  src/platform/win32/debug.cpp
  src/platform/win32/environment.cpp
  src/platform/win32/files.cpp
  src/platform/win32/processes.cpp
  src/platform/win32/registry.cpp
  src/platform/win32/security.cpp
  src/platform/win32/services.cpp
  src/platform/win32/support.cpp
  src/platform/win32/trust.cpp
  src/platform/win32/ui.cpp
  src/platform/win32/version.cpp
  src/platform/win32/wmi.cpp)
# wbemuuid is a static library of the WMI interface ids: it adds no DLL to the imports.
target_link_libraries(orvo_win32 PUBLIC
  orvo_platform advapi32 ole32 oleaut32 wbemuuid shell32 user32 kernel32)
target_compile_options(orvo_win32 PRIVATE ${ORVO_WARNINGS})

# The manifest names the program's processor: x86, the 32-bit build that ships.
set(ORVO_MANIFEST_ARCH x86)
set(ORVO_APP_MANIFEST ${CMAKE_BINARY_DIR}/app/OrvoCleanup.manifest)
configure_file(src/app/OrvoCleanup.manifest.in ${ORVO_APP_MANIFEST} @ONLY)
configure_file(src/app/OrvoCleanup.rc.in ${CMAKE_BINARY_DIR}/app/OrvoCleanup.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/app/OrvoCleanup.rc PROPERTIES
  OBJECT_DEPENDS ${ORVO_APP_MANIFEST})

add_executable(OrvoCleanup WIN32 src/app/wWinMain.cpp ${CMAKE_BINARY_DIR}/app/OrvoCleanup.rc)
target_link_libraries(OrvoCleanup PRIVATE orvo_system orvo_win32)
target_compile_options(OrvoCleanup PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${ORVO_WARNINGS} -municode>)
target_link_options(OrvoCleanup PRIVATE -municode -mwindows)
set_target_properties(OrvoCleanup PROPERTIES
  OUTPUT_NAME OrvoCleanup
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_custom_command(TARGET OrvoCleanup POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DEXE=$<TARGET_FILE:OrvoCleanup>
          -P ${CMAKE_SOURCE_DIR}/src/app/check_imports.cmake
  COMMENT "Checking that OrvoCleanup.exe imports only system-folder DLLs"
  VERBATIM)
