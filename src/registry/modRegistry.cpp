// Registry keys and values.
#include "registry/modRegistry.h"

namespace orvo::modRegistry {

// Not built yet: deletes nothing and reports success.
std::int32_t fDeleteKey(const std::string& /*sTopKey*/, const std::string& /*sKeyPath*/,
                        const std::string& /*sSubKey*/, bool& /*bNotFound*/) {
  return 0;
}

}  // namespace orvo::modRegistry
