// Debugger output: the only channel the system reports on.
#pragma once

#include <string>

namespace orvo::platform {

class IDebugOutput {
 public:
  virtual ~IDebugOutput() = default;
  // Sends one line (UTF-8 here; the backend hands it on as UTF-16).
  virtual void OutputDebugStringW(const std::string& text) = 0;
};

}  // namespace orvo::platform
