// Deleting a registry key with its subtree through the deletion ladder.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace orvo::registry {

// Deletes sTopKey\sKeyPath\sSubKey with its subtree through the ladder: permissions
// widened, subtree removed deepest first, a second attempt after taking ownership,
// reg.exe last. 0 when gone (also when missing: then bNotFound becomes true); 87 and
// nothing touched when sSubKey names no key (empty, blanks or backslashes).
std::int32_t fDeleteKey(std::string sTopKey, std::string sKeyPath, std::string sSubKey,
                        bool& bNotFound);
// Removes every key below sKeyPath, deepest first; the key itself stays.
void fDeleteSubkeys(platform::Handle root, std::string sKeyPath, std::string sTopKey);

}  // namespace orvo::registry
