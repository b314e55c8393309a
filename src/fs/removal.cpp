// The file-system object's removal methods.
#include "fs/removal.h"

namespace orvo::fs {

// Not built yet: removes nothing and reports success.
bool clsFSO::KillDir(const std::string& /*strPath*/, bool /*RecreatePath*/) { return true; }

}  // namespace orvo::fs
