// The calling thread's last-error value, as every platform call leaves it.
#pragma once

#include "platform/types.h"

namespace orvo::platform {

// Each backend sets the value after every call it makes, exactly as Win32 does.
Dword GetLastError() noexcept;
void SetLastError(Dword code) noexcept;

// Keeps the last error across a cleanup (closing a handle must not hide the failure
// that made the routine give up).
class PreserveLastError {
 public:
  PreserveLastError() noexcept : saved_(GetLastError()) {}
  ~PreserveLastError() { SetLastError(saved_); }
  PreserveLastError(const PreserveLastError&) = delete;
  PreserveLastError& operator=(const PreserveLastError&) = delete;

 private:
  Dword saved_;
};

}  // namespace orvo::platform
