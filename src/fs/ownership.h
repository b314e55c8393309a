// Taking over a file or folder before its removal is retried: subinacl.exe, and the owner set
// through the platform's security calls.
#pragma once

#include <cstdint>
#include <string>

namespace orvo::fs {

// Runs subinacl.exe (where one may run) to make sOwner the owner of the path and give
// sGrantee full control; with bRecurse (folders only; a file sets it false) also for
// everything below. Never for a link or a file that has other names.
void TakeOwnFileOrDir(const std::string& sPath, bool& bRecurse, std::int32_t lWindowStyle,
                      std::string& sOwner, std::string& sGrantee);
// Makes the current user the owner of the path (sOwner comes back as that user's name), with
// the restore privilege on for the duration. Never through a link.
void ChangeOwnerOfFile(const std::string& sPath, std::string& sOwner);

}  // namespace orvo::fs
