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
  // Full path of the running program's file; empty on failure (last error set).
  virtual std::string GetModuleFileNameW() = 0;
  // The platform's message text for an error code, without a trailing line break.
  virtual std::string FormatMessageW(Dword code) = 0;
};

}  // namespace orvo::platform
