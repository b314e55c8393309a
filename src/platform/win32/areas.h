// The win32 backend's instances, one per platform area (each defined in its own file).
#pragma once

#include "platform/platform.h"

namespace orvo::platform::win32 {

IDebugOutput& DebugOutput() noexcept;
IEnvironment& Environment() noexcept;
IVersion& VersionInfo() noexcept;
IFiles& FileSystem() noexcept;
IServices& ServiceManager() noexcept;
IUserInterface& UserInterface() noexcept;
IRegistry& RegistryKeys() noexcept;
ISecurity& Accounts() noexcept;
IProcesses& ProcessControl() noexcept;
IWmi& Instrumentation() noexcept;

}  // namespace orvo::platform::win32
