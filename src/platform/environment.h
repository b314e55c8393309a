// Process environment, the program's own path, and error message texts.
#pragma once

#include <optional>
#include <string>

#include "platform/types.h"

namespace orvo::platform {

class IEnvironment {
 public:
  virtual ~IEnvironment() = default;
  // The variable's value; nullopt when it is not set (names ignore case, as on Windows).
  virtual std::optional<std::string> GetEnvironmentVariableW(const std::string& name) = 0;
  // The shared Windows folder ("C:\\Windows") as the system knows it, whatever the environment
  // says: an elevated process inherits the user's SystemRoot and windir, which HKCU can point
  // anywhere. Empty on failure (last error set).
  virtual std::string GetSystemWindowsDirectoryW() = 0;
  // The system folder as this process names it ("C:\\Windows\\system32"; a 32-bit program on
  // 64-bit Windows reaches SysWOW64 through that name). Empty on failure (last error set).
  virtual std::string GetSystemDirectoryW() = 0;
  // True when this process is a 32-bit process on 64-bit Windows (IsWow64Process on the
  // current process): the system's answer, which no environment variable can change. False
  // when the platform cannot tell.
  virtual bool IsWow64Process() = 0;
  // Full path of the running program's file; empty on failure (last error set).
  virtual std::string GetModuleFileNameW() = 0;
  // The platform's message text for an error code, without a trailing line break.
  virtual std::string FormatMessageW(Dword code) = 0;
};

}  // namespace orvo::platform
