// Forcing ownership and full control of a registry key with subinacl.exe.
#pragma once

#include <string>

namespace orvo::registry {

// Runs subinacl.exe on the key and on its subtree (the program's folder's copy first,
// then System32's, then the Windows folder's); does nothing without the tool or for a
// top-key name it has no long form of. Writes no log line.
void TakeOwnRegKey(const std::string& sTopKey, const std::string& sKeyPath, std::string& sOwner,
                   std::string& sGrantee);

}  // namespace orvo::registry
