// Taking over a file or folder before its removal is retried.
#include "fs/ownership.h"

#include "fs/entries.h"
#include "fs/paths.h"
#include "platform/platform.h"
#include "process/launch.h"
#include "process/privileges.h"
#include "process/signed_tools.h"
#include "support/environment.h"
#include "support/log.h"
#include "support/strings.h"

namespace orvo::fs {
namespace {

using support::DPrint;
using support::Environ;

// A link or a file with other names is never taken over: what would change is shared with
// something outside the path.
bool SharedWithOutside(const std::string& path, const char* where) {
  const EntryKind kind = InspectEntry(path);
  if (kind != EntryKind::kLink && kind != EntryKind::kSharedFile && kind != EntryKind::kUnchecked) {
    return false;
  }
  support::DPrintInfo(where, std::string(kind == EntryKind::kLink ? "A link"
                                                                  : "A file with "
                                                                    "other names") +
                                 " is not taken over: " + path);
  return true;
}

}  // namespace

void TakeOwnFileOrDir(const std::string& sPath, bool& bRecurse, std::int32_t lWindowStyle,
                      std::string& sOwner, std::string& sGrantee) {
  try {
    const std::string tool = process::LocateSubinacl("modTakeOwn\\TakeOwnFileOrDir");
    if (tool.empty()) return;
    const std::string kind = FileOrDir(sPath);
    if (kind == "file") {
      bRecurse = false;
    } else if (kind != "dir") {
      return;
    }
    if (SharedWithOutside(sPath, "modTakeOwn\\TakeOwnFileOrDir")) return;
    if (sOwner.empty()) {
      sOwner = Environ("username");
      if (sOwner.empty()) sOwner = "System";
    }
    if (Environ("username") == Environ("computername") + "$") sOwner = "System";
    if (sGrantee.empty()) sGrantee = sOwner == "System" ? "Everyone" : sOwner;
    const std::string path = support::StripTrailingCharacters(sPath, "\\");
    const std::string tail = " " + process::QuoteArgument("/setowner=" + sOwner) + " " +
                             process::QuoteArgument("/grant=" + sGrantee + "=F");
    std::string sErrMsg;
    process::ShellAndWaitForTermination(
        process::QuoteArgument(tool, true) + " /file " + process::QuoteArgument(path, true) + tail,
        lWindowStyle, sErrMsg, 2000000000, false);
    // The recursive form reaches only what the tree itself holds: its links go first.
    if (bRecurse && RemoveTreeLinks(path, "modTakeOwn\\TakeOwnFileOrDir")) {
      process::ShellAndWaitForTermination(process::QuoteArgument(tool, true) + " /subdirectories " +
                                              process::QuoteArgument(path + "\\*.*", true) + tail,
                                          lWindowStyle, sErrMsg, 2000000000, false);
    }
  } catch (...) {
    // Taking ownership is a best effort: the existence test after the retry decides.
  }
}

void ChangeOwnerOfFile(const std::string& sPath, std::string& sOwner) {
  try {
    DPrint("SetOwnerFS\\ChangeOwnerOfFile:");
    DPrint("\t- Passed: " + sPath);
    DPrint("\t- Optional Parm OwnerAccountName=" + sOwner);
    sOwner = Environ("username");
    process::Enable_Privilege("SeRestorePrivilege");
    const std::optional<platform::Sid> sid = platform::Security().LookupAccountNameW(sOwner);
    if (!sid) {
      DPrint("LookupAccountName failed with error code " +
             std::to_string(platform::GetLastError()));
    } else if (!SharedWithOutside(sPath, "SetOwnerFS\\ChangeOwnerOfFile")) {
      platform::Dword error = 0;
      WithoutRedirection([&] {
        // Opened as itself, so that the owner of a link's target is never changed.
        const platform::UniqueKernelHandle entry(platform::Files().CreateFileW(
            sPath, platform::kWriteOwner,
            platform::kFileShareRead | platform::kFileShareWrite | platform::kFileShareDelete,
            platform::kOpenExisting,
            platform::kFileFlagOpenReparsePoint | platform::kFileFlagBackupSemantics));
        error =
            entry ? platform::Security().SetFileOwner(entry.get(), *sid) : platform::GetLastError();
      });
      if (error != platform::kErrorSuccess) {
        DPrint("SetFileSecurity failed with error code " + std::to_string(error));
      } else {
        DPrint("Owner of " + sPath + " changed to " + sOwner);
      }
    }
  } catch (...) {
    support::DPrintCaughtError("SetOwnerFS\\ChangeOwnerOfFile - VB ERROR: ");
    DPrint("\t- Passed: " + sPath);
    DPrint("\t- Optional Parm OwnerAccountName=" + sOwner);
  }
  process::Disable_Privilege("SeRestorePrivilege");
}

}  // namespace orvo::fs
