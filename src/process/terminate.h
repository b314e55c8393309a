// Ending running processes by their executable name, with four independent methods.
#pragma once

#include <cstdint>
#include <string>

namespace orvo::process {

// Ends every running process of that executable name (a full path is cut to its name) by
// every method in turn: the snapshot walk, termination by id (a numeric name only), WMI and
// tskill; bWait waits for the tskill command to finish.
void KillProcessByName(const std::string& sProcessName, bool bWait);
// Snapshot walk: ends every process whose executable name equals the name, in any case.
void KillProcess(const std::string& sProcessName);
// Ends one process by id with the exit code, with the debug privilege on for the call.
bool KillProcess2(std::int32_t lProcessId, std::int32_t lExitValue);
// Ends every Win32_Process of that name (in any case) through WMI.
void KillProcessViaWMI(const std::string& sProcessName);

}  // namespace orvo::process
