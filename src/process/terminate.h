// Ending running processes by their executable name.
#pragma once

#include <string>

namespace orvo::process {

// Ends every running process of that executable name (a full path is cut to its name);
// bWait waits for the last termination method's command to finish.
void KillProcessByName(const std::string& sProcessName, bool bWait);

}  // namespace orvo::process
