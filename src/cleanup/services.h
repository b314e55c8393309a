// Removal of one Windows service through the Service Control Manager.
#pragma once

#include <string>

#include "platform/types.h"

namespace orvo::cleanup {

// Asks the service to stop and marks it for deletion (no wait for the stop).
// 0 on success, else the Win32 code of the call that failed (1060: no such service,
// 5: not elevated); writes no log line.
platform::Dword DeleteNTService(const std::string& serviceName);

}  // namespace orvo::cleanup
