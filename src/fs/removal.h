// The file-system object: removal of files and folder trees that resist, and the listings
// and existence tests that removal relies on.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace orvo::fs {

class clsFSO {
 public:
  // Set by a caller to stop a listing at its next step (nothing in the program sets it).
  bool CancelProcessing = false;

  [[nodiscard]] double Count() const noexcept { return count_; }
  void Count(double dblData) noexcept { count_ = dblData; }
  [[nodiscard]] std::int32_t AccessErrNum() const noexcept { return accessErrNum_; }
  void AccessErrNum(std::int32_t errNum) noexcept { accessErrNum_ = errNum; }

  // --- Removal.
  // Deletes one file (a link as itself); one retry after ResetAttributes. True when gone.
  bool KillFile(const std::string& strFile);
  // Deletes the folder tree: two whole-tree attempts with ResetAttributes between them,
  // then a file-by-file fallback whose result is false. A missing folder is true.
  bool KillDir(const std::string& strPath, bool RecreatePath);
  // The folder with everything in it, read-only entries included, never through a link.
  bool DelTree32(const std::string& strPath);
  // Takes the entry over (ownership, a grant for Administrators, normal attributes) before
  // a retry. A link or a file with other names is left as it is.
  void ResetAttributes(const std::string& sTargetFile);
  // Creates every missing level of the path; false when one cannot be made.
  bool Create_Dir_Struct(const std::string& strPath);
  static std::string Add_Trailing_Slash(const std::string& strPath);

  // --- Listings and existence tests.
  // Full file paths, each followed by ";": the folder's own files, then its subfolders'
  // (with blnSearchSubfolders). A folder link is listed by neither listing's recursion.
  std::string Get_FileList(const std::string& strFolder, bool blnSearchSubfolders,
                           const std::string& strPattern);
  // Full subfolder paths joined by ";" (with bRecurseSubs, each followed by its own list).
  std::string Get_DirList(const std::string& strPath, bool bRecurseSubs);
  bool File_Exist(const std::string& strSearchItem);
  bool Folder_Exist(const std::string& strFolder);
  // The drive of the first two characters ("C:"), when it exists and is ready; its type in
  // the numbering 0 undetermined, 1 removable, 2 fixed, 3 network, 4 CD-ROM, 5 RAM disk.
  bool Drive_Exist(const std::string& strSearchData, std::int32_t& lngDriveType);
  bool IsDriveReady(const std::string& strDrive);
  static std::string Remove_Trailing_Slash(const std::string& strPath);

 private:
  // One recursion step of Get_DirList (the trailing ";" is removed once, at the top).
  std::string DirList(const std::string& strPath, bool bRecurseSubs, bool& cancelled);

  double count_ = 0;
  std::int32_t accessErrNum_ = 0;
  // The drive record Drive_Exist fills.
  struct DriveRecord {
    std::string DriveLetter, Path, RootFolder, SerialNumber, VolumeName, DriveType, FileSystem,
        IsReady;
  } drive_;
};

// Makes sure the folder exists (creating every missing level); true when it does afterwards.
bool MakeSurePathExists(const std::string& strPath);

}  // namespace orvo::fs
