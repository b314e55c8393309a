// Removing files and folder trees that resist: two attempts with a take-over between them,
// then a file-by-file fallback. Nothing is ever done through a link.
#include "fs/removal.h"

#include <memory>
#include <vector>

#include "fs/entries.h"
#include "fs/ownership.h"
#include "fs/paths.h"
#include "platform/platform.h"
#include "process/launch.h"
#include "support/log.h"
#include "support/strings.h"
#include "support/windows_version.h"

namespace orvo::fs {
namespace {

using platform::Dword;
using support::DPrint;
using support::TrueFalse;

// The grant before a retry names Administrators by their well-known SID (any display
// language) and no one else: the elevated process is one of them, and an entry that still
// stays is left no wider open to others than it was.
constexpr const char* kAdministratorsSid = "*S-1-5-32-544";
// How long the grant tool may take before the retry goes on without it.
constexpr std::int32_t kGrantTimeoutMs = 60000;

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (std::size_t end = list.find(';'); start <= list.size();
       start = end + 1, end = list.find(';', start)) {
    const std::string item = list.substr(start, end == std::string::npos ? end : end - start);
    if (!item.empty()) items.push_back(item);
    if (end == std::string::npos) break;
  }
  return items;
}

// Grants Administrators full control of the entry (and, for a folder, of everything in it:
// its links are removed first, so that the grant reaches nothing outside it) with the
// platform's own tool, started by its full path and awaited for a while.
void GrantAdministrators(const std::string& path, bool folder) {
  if (folder && !RemoveTreeLinks(path, "clsFSO\\ResetAttributes")) return;
  const bool vista = support::IsVista();
  const std::string tool = process::NativeSystemTool(vista ? "icacls.exe" : "cacls.exe");
  if (tool.empty() || !DoesFileExist(tool, false)) {
    DPrint("\t- Permission tool not found, skipped: " + tool);
    return;
  }
  // icacls adds the entry; cacls edits (/e) rather than replacing the list, so it asks no
  // question and needs no command shell to answer it.
  const std::string arguments =
      vista ? process::QuoteArgument(path, true) + " /grant " + kAdministratorsSid + ":F /t"
            : process::QuoteArgument(path, true) + " /t /c /e /g Administrators:F";
  std::string sErrMsg;
  process::ShellAndWaitForTermination(process::QuoteArgument(tool, true) + " " + arguments,
                                      vista ? platform::kSwShowMinimized : platform::kSwHide,
                                      sErrMsg, kGrantTimeoutMs, true);
}

// Normal, then archive-only attributes, set on the entry itself.
void NormalAttributes(const std::string& path) {
  const platform::UniqueKernelHandle entry(platform::Files().CreateFileW(
      path, platform::kFileWriteAttributes | platform::kFileReadAttributes,
      platform::kFileShareRead | platform::kFileShareWrite | platform::kFileShareDelete,
      platform::kOpenExisting,
      platform::kFileFlagOpenReparsePoint | platform::kFileFlagBackupSemantics));
  if (!entry) return;
  platform::Files().SetFileAttributesByHandle(entry.get(), platform::kFileAttributeNormal);
  platform::Files().SetFileAttributesByHandle(entry.get(), platform::kFileAttributeArchive);
}

// One delete attempt of KillFile. A file with other names that is read-only cannot lose its
// attribute (the other names share it): it goes only where the platform can delete it as it
// is.
void DeleteOnce(const std::string& strFile) {
  if (platform::Files().DeleteFileW(strFile)) return;
  if (platform::GetLastError() == platform::kErrorAccessDenied &&
      InspectEntry(strFile) == EntryKind::kSharedFile) {
    DeleteEntry(strFile);
  }
}

}  // namespace

bool clsFSO::KillFile(const std::string& strFile) {
  bool result = false;
  for (int attempt = 1; attempt <= 2; ++attempt) {
    try {
      WithoutRedirection([&] { DeleteOnce(strFile); });
    } catch (...) {
    }
    if (!DoesFileExist(strFile, false)) {
      result = true;
      break;
    }
    if (attempt == 1) {
      try {
        ResetAttributes(strFile);
      } catch (...) {
      }
    } else {
      DPrint("clsFSO\\KillFile - Unable to delete:  " + strFile);
    }
  }
  DPrint("clsFSO\\KillFile: ");
  DPrint("\t- passed: " + strFile);
  DPrint(std::string("\t- returned: ") + TrueFalse(result));
  return result;
}

bool clsFSO::KillDir(const std::string& strPath, bool RecreatePath) {
  try {
    if (DoesDirExist(strPath, false)) {
      for (int attempt = 1;; ++attempt) {
        if (DelTree32(strPath)) {
          if (RecreatePath && !MakeSurePathExists(strPath)) {
            DPrint("clsFSO\\KillDir - Error recreating:  " + strPath);
          }
          return true;
        }
        if (attempt == 1) {
          try {
            ResetAttributes(strPath);
          } catch (...) {
          }
          continue;
        }
        // Fallback: every file of the tree, then every direct subfolder, one by one. The
        // folder itself stays, and the answer is false whatever this achieves.
        try {
          for (const std::string& file : SplitList(Get_FileList(strPath, true, "*.*"))) {
            KillFile(file);
          }
        } catch (...) {
        }
        try {
          for (const std::string& folder : SplitList(Get_DirList(strPath, false))) {
            DelTree32(folder);
          }
        } catch (...) {
        }
        return false;
      }
    }
    if (RecreatePath && !MakeSurePathExists(strPath)) {
      DPrint("clsFSO\\KillDir - Error recreating:  " + strPath);
    }
  } catch (...) {
  }
  DPrint("clsFSO\\KillDir: ");
  DPrint("\t- passed: " + strPath);
  DPrint("\t- returned: True");
  return true;
}

bool clsFSO::DelTree32(const std::string& strPath) {
  bool result = false;
  WithoutRedirection([&] {
    const Dword error = DeleteTree(strPath);
    result = error == platform::kErrorSuccess;
    if (!result) {
      support::DPrintError("clsFSO\\DelTree32 - VB ERROR: ", error);
      DPrint("\t- Error deleting path:  " + strPath);
    }
  });
  return result;
}

void clsFSO::ResetAttributes(const std::string& sTargetFile) {
  const EntryKind kind = InspectEntry(sTargetFile);
  if (kind == EntryKind::kLink || kind == EntryKind::kSharedFile || kind == EntryKind::kUnchecked) {
    // Owner, access list and attributes of a link's target or of a file with other names
    // are shared with what lies outside: none of them is changed.
    support::DPrintInfo(
        "clsFSO\\ResetAttributes",
        std::string(kind == EntryKind::kLink         ? "A link"
                    : kind == EntryKind::kSharedFile ? "A file with other names"
                                                     : "An entry that cannot be checked") +
            " is left as it is: " + sTargetFile);
    return;
  }
  bool recurse = false;
  std::string owner;
  std::string grantee;
  TakeOwnFileOrDir(sTargetFile, recurse, platform::kSwHide, owner, grantee);
  std::string newOwner;
  ChangeOwnerOfFile(sTargetFile, newOwner);
  WithoutRedirection([&] {
    GrantAdministrators(sTargetFile, kind == EntryKind::kFolder);
    NormalAttributes(sTargetFile);
  });
}

bool clsFSO::Create_Dir_Struct(const std::string& strPath) {
  bool result = false;
  WithoutRedirection([&] {
    std::string prefix;
    try {
      if (support::Trim(strPath).empty()) {
        return;
      }
      const std::string path = Add_Trailing_Slash(strPath);
      for (std::size_t at = path.find('\\'); at != std::string::npos;
           at = path.find('\\', at + 1)) {
        prefix = path.substr(0, at);
        if (DoesDirExistNoDebug(prefix)) continue;
        if (!platform::Files().CreateDirectoryW(prefix) &&
            platform::GetLastError() != platform::kErrorAlreadyExists) {
          throw support::ErrorNumber{platform::GetLastError()};
        }
      }
      result = true;
    } catch (...) {
      support::DPrintCaughtError("clsFSO\\Create_Dir_Struct - VB ERROR: ");
      DPrint("\tAn error occured while trying to create:  ");
      DPrint("\t" + prefix);
    }
  });
  return result;
}

std::string clsFSO::Add_Trailing_Slash(const std::string& strPath) {
  const std::string trimmed = support::Trim(strPath);
  if (!trimmed.empty() && trimmed.back() == '\\') return trimmed;
  return trimmed + "\\";
}

bool MakeSurePathExists(const std::string& strPath) {
  const std::string path = !strPath.empty() && strPath.back() == '\\' ? strPath : strPath + "\\";
  try {
    DisableFSRedir();
    platform::Files().MakeSureDirectoryPathExists(path);
    RevertFSRedir();
  } catch (...) {
  }
  try {
    if (!DoesDirExist(strPath, false)) {
      const auto fso = std::make_unique<clsFSO>();
      fso->Create_Dir_Struct(strPath);
    }
  } catch (...) {
  }
  return DoesDirExist(strPath, false);
}

}  // namespace orvo::fs
