// Tools found beside the program, run only when Microsoft signed them.
#pragma once

#include <string>

namespace orvo::process {

// The organisation a tool's signing certificate must name.
inline constexpr const char* kMicrosoftSigner = "Microsoft Corporation";

// The full path of `toolName` in the program's own folder when that copy may run: a valid
// embedded Authenticode signature whose signer is Microsoft. The program is started from
// wherever the user downloaded it, a folder any web page can drop a file into, so any other
// copy is skipped, with an Info line under `where` naming it. Empty when there is no copy
// or it is skipped.
std::string MicrosoftSignedBesideProgram(const std::string& toolName, const std::string& where);

// subinacl.exe as the ownership routines find it: the last copy found wins among the Windows
// folder, the system folder (both as the system names them) and the program's folder (only a
// copy Microsoft signed). Empty when there is none.
std::string LocateSubinacl(const std::string& where);

}  // namespace orvo::process
