// Forcing ownership and full control of a registry key with subinacl.exe.
#include "registry/modTakeOwn.h"

#include <algorithm>
#include <cctype>

#include "fs/CommonModule.h"
#include "platform/platform.h"
#include "process/CommonModule.h"
#include "support/CommonModule.h"

namespace orvo::modTakeOwn {
namespace {

std::string Env(const char* name) {
  return platform::Env().GetEnvironmentVariableW(name).value_or(std::string());
}

std::string LongRootPrefix(std::string top) {
  std::transform(top.begin(), top.end(), top.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (top == "HKCU") return "HKEY_CURRENT_USER\\";
  if (top == "HKLM") return "HKEY_LOCAL_MACHINE\\";
  if (top == "HKU") return "HKEY_USERS\\";
  if (top == "HKDD") return "HKEY_DYN_DATA\\";
  if (top == "HKCC") return "HKEY_CURRENT_CONFIG\\";
  if (top == "HKCR") return "HKEY_CLASSES_ROOT\\";
  return {};
}

}  // namespace

void TakeOwnRegKey(const std::string& sTopKey, const std::string& sKeyPath, std::string& sOwner,
                   std::string& sGrantee) {
  try {
    const std::string prefix = LongRootPrefix(sTopKey);
    if (prefix.empty()) return;
    const std::string fullPath = prefix + sKeyPath;
    if (LongRootPrefix(sTopKey) == "HKEY_CURRENT_USER\\" && sOwner.empty()) {
      sOwner = Env("username");
    }
    if (sOwner.empty()) sOwner = "administrators";
    if (sGrantee.empty()) {
      sGrantee = Env("username");
      if (sGrantee.empty()) sGrantee = "System";
    }

    // The last copy found wins: the program's folder before System32 before Windows. The
    // Windows folder comes from the system: the environment's SystemRoot is the user's to set.
    const std::string root = platform::Env().GetSystemWindowsDirectoryW();
    std::string tool;
    for (const std::string& candidate : {root + "\\subinacl.exe", root + "\\System32\\subinacl.exe",
                                         CommonModule::AppPath() + "subinacl.exe"}) {
      if (CommonModule::DoesFileExist(candidate, false)) tool = candidate;
    }
    if (tool.empty()) return;

    for (const char* scope : {" /keyreg ", " /subkeyreg "}) {
      std::string sErrMsg;
      // Every argument as the C runtime reads it back: an owner or grantee such as
      // "John Smith" stays one argument.
      CommonModule::ShellAndWaitForTermination(
          CommonModule::QuoteArgument(tool, true) + scope +
              CommonModule::QuoteArgument(fullPath, true) + " " +
              CommonModule::QuoteArgument("/setowner=" + sOwner) + " " +
              CommonModule::QuoteArgument("/grant=" + sGrantee + "=f"),
          platform::kSwShowNormal, sErrMsg, 2000000000, false);
    }
  } catch (...) {
    // Taking ownership is a best effort: its failures only shorten the ladder.
  }
}

}  // namespace orvo::modTakeOwn
