// Removal of the toolkit's Explorer context-menu verbs.
#include "shellext/removal.h"

#include <array>
#include <cctype>
#include <memory>

#include "fs/paths.h"
#include "fs/removal.h"
#include "platform/platform.h"
#include "process/launch.h"
#include "registry/delete_key.h"
#include "registry/values.h"
#include "shellext/catalogue.h"
#include "shellext/default_actions.h"
#include "shellext/settings.h"
#include "shellext/verbs.h"
#include "support/log.h"
#include "support/strings.h"
#include "support/windows_version.h"

namespace orvo::shellext {
namespace {

using std::string_view;
using support::DPrint;
using support::LoggedStep;

constexpr const char* kTop = "HKLM";
constexpr const char* kRemoveAllError = "RemoveAll VB Error: ";
constexpr const char* kNoOpenText =
    "These files are small helper programs that can be used by other programs. Modifying them "
    "could make your computer less functional.";

constexpr std::array<Routine, 18> kRoutines{{
    {"InstAutoPelmEdition", &InstAutoPelmEdition},
    {"InstQsearch", &InstQsearch},
    {"InstCopyPath", &InstCopyPath},
    {"InstFindTarget", &InstFindTarget},
    {"InstCopyMoveTo", &InstCopyMoveTo},
    {"InstOpenInNotepad", &InstOpenInNotepad},
    {"InstCMDHere", &InstCMDHere},
    {"InstDefrag", &InstDefrag},
    {"InstSecureDelete", &InstSecureDelete},
    {"InstUploadToVT", &InstUploadToVT},
    {"InstUnlockFile", &InstUnlockFile},
    {"InstTakeOwner", &InstTakeOwner},
    {"InstRunWithParms", &InstRunWithParms},
    {"InstWorkWithFile", &InstWorkWithFile},
    {"InstRegSearch", &InstRegSearch},
    {"InstFindDups", &InstFindDups},
    {"InstIsDLLLoaded", &InstIsDLLLoaded},
    {"InstRegSvr", &InstRegSvr},
}};

// The file-system object the module shares, made on first use.
fs::clsFSO& SharedFso() {
  static fs::clsFSO fso;
  return fso;
}

void DeleteKey(const std::string& sKeyPath, const std::string& sSubKey) {
  bool bNotFound = false;
  registry::fDeleteKey(kTop, sKeyPath, sSubKey, bNotFound);
}

void DeleteValue(const std::string& sKeyPath, const std::string& sValueName) {
  bool bNotFound = false;
  registry::fDeleteValue(kTop, sKeyPath, sValueName, bNotFound);
}

// The search program in the Windows folder, as the system names that folder.
void KillSearchProgram() {
  const std::string windows = platform::Env().GetSystemWindowsDirectoryW();
  if (windows.empty()) {
    support::DPrintError("RemoveAll - the Windows folder is unknown, qsearch.exe skipped: ",
                         platform::GetLastError());
    return;
  }
  SharedFso().KillFile(windows + "\\qsearch.exe");
}

// True when the path lies below one of the system's Program Files folders, which only
// administrators may change, and names no "." or ".." step that could lead out of them.
bool InsideProgramFiles(const std::string& path) {
  const std::string lower = support::Lower(path);
  for (const char* step : {"\\.\\", "\\..\\", "/"}) {
    if (lower.find(step) != std::string::npos) return false;
  }
  for (const char* name : {"ProgramFilesDir", "ProgramFilesDir (x86)"}) {
    const std::string folder =
        registry::ReadValueText(kTop, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", name, "S");
    if (folder.empty() || !process::IsFullPath(folder)) continue;
    std::string prefix = support::Lower(folder);
    if (prefix.back() != '\\') prefix += '\\';
    if (lower.size() > prefix.size() && lower.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// Step 5b and 5c of the forced removal: the toolkit's own tool, where it is there and may
// run. True when it took the verbs out (the built-in removal then does not run).
bool RemovedByInstallerTool(const std::string& location) {
  const std::string tool = location + kInstallerTool;
  // A location that is no full path would have the tool looked up relative to the current
  // folder, which is the user's: nothing is started from there.
  if (!process::IsFullPath(location) || !SharedFso().File_Exist(tool)) {
    DPrint("Remove All: Original tool not found.  Using this tool for removal...");
    return false;
  }
  if (!InsideProgramFiles(tool)) {
    support::DPrintInfo("RemoveAll", "Not run: " + tool +
                                         " is outside the Program Files folders, where only "
                                         "administrators may change programs");
    return false;
  }
  DPrint("Remove All: Removing with original tool in: " + location);
  std::string workDir;
  const process::Started started = process::ShellXWithin(tool, kInstallerToolArguments, 1, "open",
                                                         workDir, kInstallerToolTimeoutMs);
  if (started == process::Started::kStillRunning) {
    DPrint("Remove All: The original tool is still running after " +
           std::to_string(kInstallerToolTimeoutMs / 1000) +
           " seconds; it is left running and this tool goes on with the removal.");
  }
  if (started != process::Started::kEnded ||
      registry::ReadValueText(kTop, kSettingsKey, "Installed", "D") == "1") {
    DPrint(
        "Remove All: Failed to remove shell extensions using original tool.  Using this tool "
        "for removal...");
    return false;
  }
  DPrint("Remove All: Successfully removed shell extensions using original tool.");
  return true;
}

void BuiltInRemoval() {
  LoggedStep(kRemoveAllError, [] { DPrint("Remove All: Removing Shell Extensions..."); });
  LoggedStep(kRemoveAllError, [] { FixDefaults(); });
  const bool bUninstall = true;
  for (const Routine& routine : kRoutines) {
    for (const string_view sClass : RoutineClasses(routine.name)) {
      LoggedStep(kRemoveAllError, [&] { routine.run(std::string(sClass), bUninstall); });
    }
  }
  LoggedStep(kRemoveAllError, [] { RemoveLegacyVerbs(); });
  // The two writes below never create their key: the removal must not leave a class, or the
  // vendor key, that was not there.
  LoggedStep(kRemoveAllError, [] {
    const std::string ocx = std::string(kClassesKey) + "ocxfile";
    if (registry::KeyExists(kTop, ocx))
      registry::fWriteValue(kTop, ocx, "NoOpen", "S", kNoOpenText);
  });
  for (const char* value :
       {"RegfileDefaultToNotepad", "BatchDefaultToNotepad", "ScriptDefaultToNotepad"}) {
    LoggedStep(kRemoveAllError, [&] { DeleteValue(kInstalledKey, value); });
  }
  LoggedStep(kRemoveAllError, [] { KillSearchProgram(); });
  LoggedStep(kRemoveAllError, [] { DeleteValue(kSettingsKey, "Prefix"); });
  LoggedStep(kRemoveAllError, [] {
    if (registry::KeyExists(kTop, kSettingsKey)) {
      registry::fWriteValue(kTop, kSettingsKey, "Installed", "D", "0");
    }
  });
  for (const char* value : {"Installed Location", "Calling Application", "PrefixIcon"}) {
    LoggedStep(kRemoveAllError, [&] { DeleteValue(kSettingsKey, value); });
  }
  LoggedStep(kRemoveAllError, [] { DeleteKey(kVendorOrvoKey, kSettingsKeyName); });
  bForceAction = false;
}

}  // namespace

void ResetRemovalState() noexcept { bForceAction = false; }

std::span<const Routine> RemovalRoutines() { return kRoutines; }

void RemoveShellExtensions(bool bForce) {
  // A failure is logged in two lines, where the routine resumes and the failure itself.
  const auto step = [](auto&& body) noexcept {
    try {
      body();
    } catch (...) {
      DPrint("modInstShellExt\\RemoveShellExtensions: (Resuming after error)");
      support::DPrintCaughtError("\t- VB Error: ");
    }
  };
  std::string installed;
  step([&] { installed = registry::ReadValueText(kTop, kSettingsKey, "Installed", "D"); });
  bool win7 = false;
  step([&] { win7 = support::IsWin7(); });
  if (bForce) {
    if (win7) step([] { RemoveWin7Menus(); });
    bForceAction = bForce;
    step([] { RemoveAll(false); });
    return;
  }
  if (installed != "1") return;
  if (win7) {
    step([] { RemoveWin7Menus(); });
    return;
  }
  bForceAction = false;
  step([] { RemoveAll(false); });
}

void RemoveWin7Menus() {
  LoggedStep(kRemoveAllError, [] {
    bool flag = true;
    LoadShellExtSettings(flag);
  });
  LoggedStep(kRemoveAllError, [] { KillSearchProgram(); });
  // The saved default verbs live in the bookkeeping key deleted next: they are put back first.
  LoggedStep(kRemoveAllError, [] { FixDefaults(); });
  LoggedStep(kRemoveAllError, [] { DeleteKey(kVendorOrvoKey, kSettingsKeyName); });
  for (const char* cascade : kCascadeKeys) {
    LoggedStep(kRemoveAllError, [&] { DeleteKey(kCascadeParent, cascade); });
  }
  LoggedStep(kRemoveAllError, [] { DeleteKey(kCascadeParent, VerbKeyName("exWorkWithFile")); });
}

void RemoveAll(bool bLoadConfig) {
  std::string location;
  bool builtIn = true;
  LoggedStep(kRemoveAllError, [] {
    bool flag = true;
    LoadShellExtSettings(flag);
  });
  LoggedStep(kRemoveAllError, [&] {
    DPrint(std::string("RemoveAll: bLoadConfig=") + support::TrueFalse(bLoadConfig));
  });
  std::string calling;
  LoggedStep(kRemoveAllError, [&] {
    calling = registry::ReadValueText(kTop, kSettingsKey, "Calling Application", "S");
    location = registry::ReadValueText(kTop, kSettingsKey, "Installed Location", "S");
  });
  LoggedStep(kRemoveAllError, [] {
    DPrint(std::string("Remove All: bforceaction=") + support::TrueFalse(bForceAction));
  });
  LoggedStep(kRemoveAllError, [&] {
    const std::string appPath = fs::AppPath();
    if (bForceAction) {
      if (support::Lower(location) == support::Lower(appPath)) {
        DPrint(
            "Remove All: AppPath and installed location match; allowing standard removal "
            "with this tool.");
      } else if (RemovedByInstallerTool(location)) {
        builtIn = false;
      }
      return;
    }
    builtIn = false;
    if (registry::ReadValueText(kTop, kSettingsKey, "Installed", "D") != "1") return;
    if (support::Lower(location) != support::Lower(appPath)) {
      DPrint(
          "Remove All: Shell Extension Removal Cancelled - tools were installed by a "
          "different installer tool.");
      return;
    }
    calling = registry::ReadValueText(kTop, kSettingsKey, "Calling Application", "S");
    if (support::Lower(calling) != support::Lower(Settings().sExeName)) {
      DPrint("Remove All: Shell Extension Removal from " + Settings().sExeName +
             " cancelled; tools originally installed by " + calling);
      return;
    }
    builtIn = true;
  });
  if (builtIn) BuiltInRemoval();
}

void RemoveLegacyVerbs() {
  const std::string parent = std::string(kClassesKey) + kLegacyVerbClass + "\\shell";
  for (const char* verb : kLegacyVerbs) {
    try {
      DeleteKey(parent, verb);
    } catch (...) {
    }
  }
}

}  // namespace orvo::shellext
