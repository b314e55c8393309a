// The file-system object: removal of files and folder trees that resist.
#pragma once

#include <string>

namespace orvo::fs {

class clsFSO {
 public:
  // Removes the folder with all its content, re-creating it empty when RecreatePath.
  bool KillDir(const std::string& strPath, bool RecreatePath);
};

}  // namespace orvo::fs
