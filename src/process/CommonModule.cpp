// Ending processes by name.
#include "process/CommonModule.h"

namespace orvo::CommonModule {

// Not built yet: ends no process.
void KillProcessByName(const std::string& /*sProcessName*/, bool /*bWait*/) {}

}  // namespace orvo::CommonModule
