// The win32 backend: the platform interfaces as thin calls into the Win32 API (W forms).
#pragma once

#include "platform/platform.h"

namespace orvo::platform::win32 {

// Every area filled with the process-wide win32 instances; hand it to platform::Install.
Platform Backend() noexcept;

}  // namespace orvo::platform::win32
