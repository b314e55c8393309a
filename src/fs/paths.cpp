// Path tests, the program's folder and the redirection switch.
#include "fs/paths.h"

#include <cstdint>

#include "platform/platform.h"
#include "support/log.h"
#include "support/strings.h"
#include "support/windows_version.h"

namespace orvo::fs {
namespace {

using platform::Dword;
using support::DPrint;
using support::DPrintCaughtError;
using support::DPrintError;
using support::TrueFalse;

// Only drive paths ("C:...") and network paths ("\\...") are tested at all.
bool HasTestablePathForm(const std::string& path) {
  return path.size() >= 2 && (path[1] == ':' || path[1] == '\\');
}

bool IsFolder(Dword attributes) {
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kFileAttributeDirectory) != 0;
}

// The path's attributes with the pending error cleared first.
Dword QueryAttributes(const std::string& path) {
  platform::SetLastError(platform::kErrorSuccess);
  return platform::Files().GetFileAttributesW(path);
}

bool FolderTest(const std::string& routine, const std::string& sPathOnly, bool bDebug,
                bool switchRedirection) {
  if (!HasTestablePathForm(sPathOnly)) return false;
  bool result = false;
  try {
    if (switchRedirection) DisableFSRedir();
    result = IsFolder(QueryAttributes(sPathOnly));
    if (bDebug) {
      DPrint("CommonModule\\" + routine + ": ");
      DPrint("\t- Passed: " + sPathOnly);
      DPrint(std::string("\t- Returns: ") + TrueFalse(result));
    }
  } catch (...) {
    // A test answers false when in doubt and never raises.
  }
  if (switchRedirection) RevertFSRedir();
  return result;
}

}  // namespace

void ResetFsState() noexcept {
  bFSRedirDisabled = false;
  lOldFSRedirValue = 0;
  bAllowFSRedirSwitch = false;
}

// Decided from the attributes, not from opening the file: a locked or unreadable file,
// or one whose path is longer than an open-for-existence test accepts, is still a file,
// so a later failed delete is not taken for success. The trace shows the attributes as
// a signed number: -1 for a path that cannot be found.
bool DoesFileExist(const std::string& sFile, bool bDebug) {
  if (!HasTestablePathForm(sFile)) return false;
  bool result = false;
  try {
    platform::SetLastError(platform::kErrorSuccess);
    DisableFSRedir();
    const Dword attributes = QueryAttributes(sFile);
    RevertFSRedir();
    result = attributes != platform::kInvalidFileAttributes &&
             (attributes & platform::kFileAttributeDirectory) == 0;
    if (bDebug) {
      DPrint("CommonModule\\DoesFileExist: " +
             std::to_string(static_cast<std::int32_t>(attributes)));
      DPrint("\t- Passed: " + sFile);
      DPrint(std::string("\t- Returns: ") + TrueFalse(result));
    }
  } catch (...) {
    RevertFSRedir();
  }
  return result;
}

bool DoesDirExist(const std::string& sPathOnly, bool bDebug) {
  return FolderTest("DoesDirExist", sPathOnly, bDebug, true);
}

bool DoesDirExistNo64bitCheck(const std::string& sPathOnly, bool bDebug) {
  return FolderTest("DoesDirExistNo64bitCheck", sPathOnly, bDebug, false);
}

bool DoesDirExistNoDebug(const std::string& sPathOnly) {
  return FolderTest("DoesDirExist", sPathOnly, false, true);
}

std::string FileOrDir(const std::string& sPath) {
  std::string answer;
  if (DoesFileExist(sPath, false)) answer = "file";
  if (DoesDirExist(sPath, false)) answer = "dir";
  return answer.empty() ? "neither" : answer;
}

bool Is64bit(const std::string& sDrive) {
  if (sDrive.empty()) {
    return support::Is64BitWindows();
  }
  return DoesDirExistNo64bitCheck(sDrive + "\\Program Files (x86)", false);
}

void SwitchRedirectionOff(Handle& old) { platform::Files().Wow64DisableWow64FsRedirection(old); }
void SwitchRedirectionBack(Handle old) { platform::Files().Wow64RevertWow64FsRedirection(old); }

void DisableFSRedir() {
  try {
    if (bFSRedirDisabled) return;
    if (bAllowFSRedirSwitch && Is64bit("")) {
      platform::Files().Wow64DisableWow64FsRedirection(lOldFSRedirValue);
    }
    bFSRedirDisabled = true;
  } catch (...) {
    DPrint("DisableFSRedir:  " + platform::Env().FormatMessageW(platform::kErrorNotEnoughMemory));
  }
}

void RevertFSRedir() {
  try {
    if (!bFSRedirDisabled) return;
    if (bAllowFSRedirSwitch && Is64bit("")) {
      platform::Files().Wow64RevertWow64FsRedirection(lOldFSRedirValue);
    }
    bFSRedirDisabled = false;
  } catch (...) {
    DPrint("RevertFSRedir:  " + platform::Env().FormatMessageW(platform::kErrorNotEnoughMemory));
  }
}

std::string AppPath() {
  std::string folder;
  try {
    const std::string module = platform::Env().GetModuleFileNameW();
    if (module.empty()) {
      DPrintError("CommonModule\\AppPath VB ERROR: ", platform::GetLastError());
    } else {
      const auto slash = module.find_last_of('\\');
      folder = slash == std::string::npos ? std::string() : module.substr(0, slash);
    }
  } catch (...) {
    DPrintCaughtError("CommonModule\\AppPath VB ERROR: ");
  }
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace orvo::fs
