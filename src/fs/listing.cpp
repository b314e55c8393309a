// The file-system object's listings and existence tests. A listing never descends through
// a folder link: what a link leads to is not part of the tree.
#include <cstdio>
#include <vector>

#include "fs/entries.h"
#include "fs/paths.h"
#include "fs/removal.h"
#include "platform/platform.h"
#include "support/log.h"
#include "support/strings.h"

namespace orvo::fs {
namespace {

using platform::Dword;
using platform::FindData;
using support::DPrint;
using support::TrueFalse;

bool IsFolder(const FindData& d) {
  return (d.dwFileAttributes & platform::kFileAttributeDirectory) != 0;
}
bool IsLink(const FindData& d) {
  return (d.dwFileAttributes & platform::kFileAttributeReparsePoint) != 0;
}

// The folder's entries; throws the error when it cannot be listed.
std::vector<FindData> Entries(const std::string& folder) {
  std::vector<FindData> entries;
  Dword error = 0;
  if (!ListFolder(folder, entries, error)) throw support::ErrorNumber{error};
  return entries;
}

std::string Extension(const std::string& name) {
  const auto dot = name.find_last_of('.');
  const auto slash = name.find_last_of('\\');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return support::Lower(name.substr(dot + 1));
}

}  // namespace

std::string clsFSO::Get_FileList(const std::string& strFolder, bool blnSearchSubfolders,
                                 const std::string& strPattern) {
  if (strFolder.empty()) {
    DPrint("cFSO\\Get_FileList - Passed no string, aborting!");
    return {};
  }
  platform::Processes().PumpMessages();
  if (CancelProcessing) return {};
  std::string list;
  std::vector<FindData> entries;
  try {
    entries = Entries(strFolder);
  } catch (...) {
    const Dword number = support::CaughtErrorNumber();
    support::DPrintError("clsFSO\\Get_FileList - VB ERROR: ", number);
    DPrint("clsFSO\\Get_FileList -      DIR: " + strFolder);
    DPrint("\t" + list);
    if (number == platform::kErrorAccessDenied) DPrint("\tAborting function...");
    return list;
  }
  const bool filtered = strPattern != "*.*" && strPattern.find('*') != std::string::npos;
  const std::string wanted = Extension(strPattern);
  for (const FindData& entry : entries) {
    platform::Processes().PumpMessages();
    if (CancelProcessing) break;
    if (IsFolder(entry)) continue;
    if (filtered) {
      if (Extension(entry.cFileName) != wanted) continue;
      count_ += 1;
    }
    list += strFolder + "\\" + entry.cFileName + ";";
  }
  platform::Processes().PumpMessages();
  if (CancelProcessing) return {};
  if (blnSearchSubfolders) {
    for (const FindData& entry : entries) {
      if (CancelProcessing) break;
      if (!IsFolder(entry) || IsLink(entry)) continue;
      list += Get_FileList(strFolder + "\\" + entry.cFileName, blnSearchSubfolders, strPattern);
    }
  }
  return list;
}

std::string clsFSO::Get_DirList(const std::string& strPath, bool bRecurseSubs) {
  if (strPath.empty()) {
    DPrint("cFSO\\Get_DirList - Passed no string, aborting!");
    return {};
  }
  bool cancelled = false;
  return DirList(strPath, bRecurseSubs, cancelled);
}

// The folder that cannot be opened is the caller's to handle (the error is thrown).
std::string clsFSO::DirList(const std::string& strPath, bool bRecurseSubs, bool& cancelled) {
  const std::vector<FindData> entries = Entries(strPath);
  std::string list;
  for (const FindData& entry : entries) {
    if (!IsFolder(entry)) continue;
    platform::Processes().PumpMessages();
    if (CancelProcessing) break;
    const std::string path = strPath + "\\" + entry.cFileName;
    list += path + ";";
    if (!bRecurseSubs || IsLink(entry)) continue;
    try {
      list += DirList(path, true, cancelled) + ";";
    } catch (...) {
      const Dword number = support::CaughtErrorNumber();
      accessErrNum_ = static_cast<std::int32_t>(number);
      support::DPrintError("clsFSO\\Get_DirList - VB ERROR: ", number);
      DPrint("clsFSO\\Get_DirList -      DIR: " + strPath);
      if (number == platform::kErrorAccessDenied) {
        DPrint("\tAborting function...");
        return {};
      }
    }
  }
  platform::Processes().PumpMessages();
  if (CancelProcessing) return {};
  if (!list.empty() && list.back() == ';') list.pop_back();
  return list;
}

bool clsFSO::Folder_Exist(const std::string& strFolder) {
  bool result = false;
  const std::string folder = Remove_Trailing_Slash(strFolder);
  try {
    result = DoesDirExistNoDebug(folder);
  } catch (...) {
    support::DPrintCaughtError("clsFSO\\Folder_Exist - VB ERROR: ");
  }
  DPrint(std::string("clsFSO\\Folder_Exist: ") + TrueFalse(result));
  DPrint("\t- strFolder=" + folder);
  return result;
}

bool clsFSO::File_Exist(const std::string& strSearchItem) {
  if (support::Trim(strSearchItem).empty()) return false;
  std::int32_t driveType = 0;
  if (!Drive_Exist(strSearchItem.substr(0, 2), driveType) || driveType == 0) return false;
  if (strSearchItem.size() >= 4) {
    const auto slash = strSearchItem.find_last_of('\\');
    const std::string parent =
        slash == std::string::npos ? std::string() : strSearchItem.substr(0, slash);
    if (!Folder_Exist(parent)) return false;
  }
  const Dword attributes = platform::Files().GetFileAttributesW(strSearchItem);
  const bool result = attributes != platform::kInvalidFileAttributes &&
                      (attributes & platform::kFileAttributeDirectory) == 0;
  DPrint(std::string("clsFSO\\File_Exist: ") + TrueFalse(result));
  DPrint("\t- strSearchItem=" + strSearchItem);
  return result;
}

bool clsFSO::Drive_Exist(const std::string& strSearchData, std::int32_t& lngDriveType) {
  lngDriveType = 0;
  if (strSearchData.size() < 2 || strSearchData[1] != ':') return false;
  bool result = false;
  const std::string drive = strSearchData.substr(0, 2);
  try {
    const Dword type = platform::Files().GetDriveTypeW(drive + "\\");
    if (type > platform::kDriveNoRootDir && IsDriveReady(drive)) {
      platform::VolumeInformation volume;
      platform::Files().GetVolumeInformationW(drive + "\\", volume);
      // The file-system object's numbering: one less than the platform's for real drives.
      lngDriveType = static_cast<std::int32_t>(type - 1);
      char serial[16];
      std::snprintf(serial, sizeof serial, "%04X-%04X", volume.serialNumber >> 16,
                    volume.serialNumber & 0xFFFF);
      drive_ = DriveRecord{drive.substr(0, 1),    drive,
                           drive + "\\",          serial,
                           volume.volumeName,     std::to_string(lngDriveType),
                           volume.fileSystemName, "1"};
      result = true;
    }
  } catch (...) {
    return false;
  }
  DPrint(std::string("clsFSO\\Drive_Exist: ") + TrueFalse(result) + " strDrive=" + drive);
  return result;
}

bool clsFSO::IsDriveReady(const std::string& strDrive) {
  bool result = false;
  std::string drive;
  try {
    const char letter = strDrive.empty() ? '\0' : support::Upper(strDrive.substr(0, 1))[0];
    drive = std::string(1, letter) + ":";
    if (letter >= 'A' && letter <= 'Z') {
      platform::VolumeInformation volume;
      result = platform::Files().GetVolumeInformationW(drive + "\\", volume);
    }
  } catch (...) {
    support::DPrintCaughtError("clsFSO\\IsDriveReady - VB ERROR: ");
  }
  DPrint(std::string("clsFSO\\IsDriveReady: ") + TrueFalse(result) + "  strDrive=" + drive);
  return result;
}

std::string clsFSO::Remove_Trailing_Slash(const std::string& strPath) {
  std::string path = support::Trim(strPath);
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace orvo::fs
