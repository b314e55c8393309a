# Libraries and programs. The system's code is one library that knows only the
# platform interfaces; each build links it with one backend.

add_library(orvo_platform STATIC src/platform/platform.cpp src/support/Utf16.cpp)
target_include_directories(orvo_platform PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(orvo_platform PRIVATE ${ORVO_WARNINGS})

add_library(orvo_system STATIC
  src/support/CommonModule.cpp
  src/support/clsOpSys.cpp
  src/fs/CommonModule.cpp
  src/fs/clsFSO.cpp
  src/process/CommonModule.cpp
  src/registry/modRegistry.cpp
  src/registry/SetPerm.cpp
  src/registry/modTakeOwn.cpp
  src/shellext/modInstShellExt.cpp
  src/cleanup/NTServiceControl.cpp
  src/cleanup/Module1.cpp)
target_link_libraries(orvo_system PUBLIC orvo_platform)
target_compile_options(orvo_system PRIVATE ${ORVO_WARNINGS})

# The in-memory Windows machine the tests run the system against.
add_library(orvo_fake STATIC
  src/platform/fake/FakeMachine.cpp
  src/platform/fake/FakeIni.cpp
  src/platform/fake/FakeProcesses.cpp
  src/platform/fake/FakeRegistry.cpp)
target_link_libraries(orvo_fake PUBLIC orvo_platform)
target_compile_options(orvo_fake PRIVATE ${ORVO_WARNINGS})

if(WIN32)
  include(cmake/win32.cmake)
endif()
