// Deleting a registry key with its subtree through the deletion ladder.
#include "registry/delete_key.h"

#include <optional>
#include <vector>

#include "fs/paths.h"
#include "platform/platform.h"
#include "process/launch.h"
#include "registry/key_permissions.h"
#include "registry/keys.h"
#include "registry/take_ownership.h"
#include "support/log.h"

namespace orvo::registry {
namespace {

using platform::Dword;
using platform::Handle;
using platform::Registry;
using platform::UniqueHkey;
using support::DPrint;

constexpr std::int32_t kInvalidParameter = 87;

// True when a key name names no key: empty, blanks only, or backslashes (and blanks) only.
// Deleting such a "name" below a parent would delete the parent's own subtree.
bool NamesNoKey(const std::string& name) {
  return name.find_first_not_of(" \t\\") == std::string::npos;
}

// reg.exe acts on the view the key was addressed in, never on its twin in the other one.
std::string RegExeViewSwitch(Dword viewFlag) {
  if (viewFlag == platform::kKeyWow64_64Key) return " /reg:64";
  if (viewFlag == platform::kKeyWow64_32Key) return " /reg:32";
  return {};
}

}  // namespace

std::int32_t fDeleteKey(std::string sTopKey, std::string sKeyPath, std::string sSubKey,
                        bool& bNotFound) {
  std::int32_t result = kNotCalled;
  std::string fullPath = sTopKey + "\\" + sKeyPath + "\\" + sSubKey;
  try {
    const Handle root = fTopKey(sTopKey);
    if (root == 0) {
      support::DPrintError("modRegistry\\fDeleteKey - VB ERROR: ", 0);
      DPrint("\t- Key: " + fullPath);
      DPrint("\t- lResult (0=Success 2=Not Found): " + std::to_string(kNotCalled));
      return kNotCalled;
    }
    if (NamesNoKey(sSubKey)) {
      // A computed name that came out empty must never remove its parent: nothing is
      // touched, and the caller gets ERROR_INVALID_PARAMETER.
      DPrint("modRegistry\\fDeleteKey - Error:  " + std::to_string(kInvalidParameter));
      DPrint("\tKey:  " + fullPath);
      DPrint("\t- No key name given: nothing is deleted");
      return kInvalidParameter;
    }
    // The view is chosen once and used for every step of this deletion: the permission
    // change, the subtree removal, both attempts and reg.exe.
    const std::string keyPath = sKeyPath + "\\" + sSubKey;
    const KeyView view = ViewFor(sKeyPath);
    fullPath = sTopKey + "\\" + view.path + "\\" + sSubKey;

    // The access list as it was, to put back if every rung fails and the key stays.
    const std::optional<platform::SecurityDescriptor> savedDacl =
        registry::SaveRegKeyDacl(sTopKey, keyPath);
    std::int32_t code = kNotCalled;
    for (bool secondRun = false;; secondRun = true) {
      try {
        if (secondRun) {
          std::string owner, grantee;
          registry::TakeOwnRegKey(sTopKey, keyPath, owner, grantee);
        }
        registry::GetRegKeyPermissions(sTopKey, keyPath);
        Handle opened = 0;
        code = static_cast<std::int32_t>(Registry().RegOpenKeyExW(
            root, view.path, 0, platform::kKeyCreateSubKey | view.flag, opened));
        if (code == kSuccess) {
          const UniqueHkey parent(opened);
          fDeleteSubkeys(root, keyPath, sTopKey);
          code = static_cast<std::int32_t>(
              Registry().RegDeleteKeyExW(parent.get(), sSubKey, view.flag));
        }
      } catch (...) {
        support::DPrintError("modRegistry\\fDeleteKey - VB ERROR: ", support::CaughtErrorNumber());
        DPrint("\t- Key: " + fullPath);
        DPrint("\t- lResult (0=Success 2=Not Found): " + std::to_string(code));
      }
      if (code == kSuccess || code == kNotFound) {
        result = kSuccess;
        break;
      }
      result = code;
      DPrint("modRegistry\\fDeleteKey - Error:  " + std::to_string(code));
      DPrint("\tKey:  " + fullPath);
      if (!secondRun) {
        DPrint("\t- Attempting second run using subinacl...");
        continue;
      }
      const std::string command =
          process::QuoteArgument(fullPath, true) + " /f" + RegExeViewSwitch(view.flag);
      DPrint("modRegistry\\fDeleteKey:  Still not working, attempting deletion with reg.exe");
      DPrint("\tcmd:  reg.exe delete " + command);
      const std::string regExe = process::NativeSystemTool("reg.exe");
      if (fs::DoesFileExist(regExe, false)) {
        std::string workDir;
        std::int32_t exitCode = 0;
        process::ShellX(regExe, "DELETE " + command, true, 0, "open", workDir, exitCode);
      } else {
        DPrint("\t- reg.exe not found, skipped: " + regExe);
      }
      break;
    }
    if (result != kSuccess) registry::RestoreRegKeyDacl(sTopKey, keyPath, savedDacl);
    if (code == kNotFound) bNotFound = true;
    DPrint("modRegistry\\fDeleteKey: ");
    DPrint("\t- Key: " + fullPath);
    DPrint(ResultLine(code));
    return result;
  } catch (...) {
    support::DPrintError("modRegistry\\fDeleteKey - VB ERROR: ", support::CaughtErrorNumber());
    DPrint("\t- Key: " + fullPath);
    DPrint("\t- lResult (0=Success 2=Not Found): " + std::to_string(result));
    return result;
  }
}

void fDeleteSubkeys(Handle root, std::string sKeyPath, std::string sTopKey) {
  try {
    DPrint("modRegistry\\fDeleteSubkeys passed: " + sTopKey + "\\" + sKeyPath);
    if (NamesNoKey(sKeyPath)) {
      // An empty path is the root itself: its subkeys are never removed wholesale.
      DPrint("modRegistry\\fDeleteSubkeys: No key path given: nothing is deleted");
      return;
    }
    const KeyView view = ViewFor(sKeyPath);
    Handle opened = 0;
    if (Registry().RegOpenKeyExW(root, view.path, 0, platform::kKeyAllAccess | view.flag, opened) !=
        platform::kErrorSuccess) {
      DPrint("modRegistry\\fDeleteSubkeys: Error opening key: " + view.path);
      return;
    }
    const UniqueHkey key(opened);
    // All names first: deleting while enumerating would shift the indices.
    std::vector<std::string> names;
    std::string name;
    for (Dword index = 0;
         Registry().RegEnumKeyExW(key.get(), index, name) == platform::kErrorSuccess; ++index) {
      names.push_back(name.substr(0, name.find('\0')));
    }
    for (const std::string& child : names) {
      // Children keep the caller's spelling of the path, so that each one is widened
      // and removed in the same view as the key itself.
      const std::string childPath = sKeyPath + "\\" + child;
      const std::optional<platform::SecurityDescriptor> savedDacl =
          registry::SaveRegKeyDacl(sTopKey, childPath);
      registry::GetRegKeyPermissions(sTopKey, childPath);
      fDeleteSubkeys(root, childPath, sTopKey);
      // A child that stays gets its own access list back.
      if (Registry().RegDeleteKeyExW(key.get(), child, view.flag) != platform::kErrorSuccess) {
        registry::RestoreRegKeyDacl(sTopKey, childPath, savedDacl);
      }
    }
  } catch (...) {
    support::DPrintError("modRegistry\\fDeleteSubkeys - VB ERROR: ", support::CaughtErrorNumber());
    DPrint("\t- Key: " + sTopKey + "\\" + sKeyPath);
  }
}

}  // namespace orvo::registry
