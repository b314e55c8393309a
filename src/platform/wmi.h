// Windows Management Instrumentation: the process objects of the local computer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace orvo::platform {

// One object a query answered: its Name property and its object path (__PATH), by which a
// method is called on it.
struct WmiObject {
  std::string Name;
  std::string Path;
};

class IWmi {
 public:
  virtual ~IWmi() = default;
  // Connects to the local computer's default namespace (root\cimv2) and runs the WQL query;
  // the answer is the HRESULT (0 success), `objects` every object it returned.
  virtual std::int32_t ExecQuery(const std::string& query, std::vector<WmiObject>& objects) = 0;
  // Calls the object's Terminate method (Win32_Process); the HRESULT of the call, or the
  // method's own nonzero ReturnValue when it refused.
  virtual std::int32_t Terminate(const WmiObject& object) = 0;
};

}  // namespace orvo::platform
