// Registry keys and values: reading, writing, listing and deleting.
#pragma once

#include <cstdint>
#include <string>

namespace orvo::modRegistry {

// Deletes sTopKey\sKeyPath\sSubKey with its whole subtree. 0 when the key is gone,
// otherwise the Win32 code of the last failed call (99: unknown top-key name);
// bNotFound becomes true when the key was not there.
std::int32_t fDeleteKey(const std::string& sTopKey, const std::string& sKeyPath,
                        const std::string& sSubKey, bool& bNotFound);

}  // namespace orvo::modRegistry
