// User interface: modal message boxes.
#pragma once

#include <string>

#include "platform/types.h"

namespace orvo::platform {

class IUserInterface {
 public:
  virtual ~IUserInterface() = default;
  // Shows a modal box and returns the button pressed (kIdYes, kIdNo, ...), 0 on failure.
  virtual int MessageBoxW(Handle owner, const std::string& text, const std::string& caption,
                          Dword type) = 0;
  virtual Handle GetDesktopWindow() = 0;
};

}  // namespace orvo::platform
