# Libraries and programs. The system's code is one library that knows only the
# platform interfaces; each build links it with one backend.

add_library(orvo_platform STATIC src/platform/platform.cpp src/support/unicode.cpp)
target_include_directories(orvo_platform PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(orvo_platform PRIVATE ${ORVO_WARNINGS})

add_library(orvo_system STATIC
  src/support/log.cpp
  src/support/strings.cpp
  src/support/environment.cpp
  src/support/windows_version.cpp
  src/fs/paths.cpp
  src/fs/ini.cpp
  src/fs/entries.cpp
  src/fs/listing.cpp
  src/fs/ownership.cpp
  src/fs/removal.cpp
  src/process/launch.cpp
  src/process/privileges.cpp
  src/process/signed_tools.cpp
  src/process/terminate.cpp
  src/registry/keys.cpp
  src/registry/values.cpp
  src/registry/delete_key.cpp
  src/registry/key_permissions.cpp
  src/registry/take_ownership.cpp
  src/shellext/catalogue.cpp
  src/shellext/settings.cpp
  src/shellext/default_actions.cpp
  src/shellext/verbs.cpp
  src/shellext/removal.cpp
  src/cleanup/services.cpp
  src/cleanup/final_check.cpp
  src/cleanup/run.cpp)
target_link_libraries(orvo_system PUBLIC orvo_platform)
target_compile_options(orvo_system PRIVATE ${ORVO_WARNINGS})

# The in-memory Windows machine the tests run the system against.
add_library(orvo_fake STATIC
  src/platform/fake/FakeMachine.cpp
  src/platform/fake/FakeFiles.cpp
  src/platform/fake/FakeIni.cpp
  src/platform/fake/FakeProcesses.cpp
  src/platform/fake/FakeRegistry.cpp)
target_link_libraries(orvo_fake PUBLIC orvo_platform)
target_compile_options(orvo_fake PRIVATE ${ORVO_WARNINGS})

if(WIN32)
  include(cmake/win32.cmake)
endif()
