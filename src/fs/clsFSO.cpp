// The file-system object's removal methods.
#include "fs/clsFSO.h"

namespace orvo {

// Not built yet: removes nothing and reports success.
bool clsFSO::KillDir(const std::string& /*strPath*/, bool /*RecreatePath*/) { return true; }

}  // namespace orvo
