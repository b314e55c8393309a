// Environment values as the program reads them.
#include "support/environment.h"

#include "platform/platform.h"

namespace orvo::support {

std::string Environ(const std::string& name) {
  return platform::Env().GetEnvironmentVariableW(name).value_or(std::string());
}

}  // namespace orvo::support
