// Assembles the win32 backend from its areas.
#include "platform/win32/backend.h"

#include "platform/win32/areas.h"

namespace orvo::platform::win32 {

Platform Backend() noexcept {
  return Platform{&DebugOutput(),    &Environment(),    &VersionInfo(),  &FileSystem(),
                  &ServiceManager(), &UserInterface(),  &RegistryKeys(), &Accounts(),
                  &ProcessControl(), &Instrumentation()};
}

}  // namespace orvo::platform::win32
