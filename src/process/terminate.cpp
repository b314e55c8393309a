// Ending running processes by their executable name.
#include "process/terminate.h"

namespace orvo::process {

// Not built yet: ends no process.
void KillProcessByName(const std::string& /*sProcessName*/, bool /*bWait*/) {}

}  // namespace orvo::process
