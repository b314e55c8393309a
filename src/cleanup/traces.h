// The names of the toolkit's traces that the cleanup removes and, at its end, looks up again.
#pragma once

namespace orvo::cleanup {

// The toolkit's services, in the order they are removed.
inline constexpr const char* kToolkitServices[] = {"OrvoStartupKillService", "ReaperPlusService",
                                                   "Orvo_CFSvc"};
// The event-log library in the system folder (as this 32-bit program names that folder).
inline constexpr const char* kEventLogLibrary = "\\tarnwickeventlogmsghelper.dll";
// The search program in the Windows folder.
inline constexpr const char* kSearchProgram = "\\qsearch.exe";
// The toolkit's folder in the temporary folder.
inline constexpr const char* kTempFolder = "\\Orvo";

}  // namespace orvo::cleanup
