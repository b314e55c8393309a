// The per-verb routines of the toolkit's context-menu verbs.
#include "shellext/verbs.h"

#include <initializer_list>
#include <string_view>
#include <vector>

#include "fs/ini.h"
#include "fs/paths.h"
#include "platform/platform.h"
#include "registry/delete_key.h"
#include "registry/values.h"
#include "shellext/catalogue.h"
#include "shellext/default_actions.h"
#include "shellext/settings.h"
#include "support/log.h"
#include "support/strings.h"
#include "support/windows_version.h"

namespace orvo::shellext {
namespace {

using support::DPrint;
using support::LoggedStep;

constexpr const char* kTop = "HKLM";

// One run of a routine: its name for the log lines, the class and the mode.
struct Call {
  std::string_view routine;
  const std::string& sClass;
  bool uninstall;

  [[nodiscard]] std::string ErrorPrefix() const { return std::string(routine) + " VB Error: "; }
  template <class F>
  void Step(F&& step) const {
    LoggedStep(ErrorPrefix(), step);
  }
};

const Verb& Row(std::string_view keyName) {
  const Verb* verb = FindVerb(keyName);
  if (verb == nullptr) throw support::ErrorNumber{platform::kErrorFileNotFound};
  return *verb;
}

std::vector<const Verb*> Rows(std::initializer_list<std::string_view> keyNames) {
  std::vector<const Verb*> rows;
  for (const std::string_view name : keyNames) rows.push_back(&Row(name));
  return rows;
}

std::string VerbKey(const Verb& verb, const std::string& sClass) {
  return VerbParent(verb, sClass) + "\\" + VerbKeyName(verb.keyName);
}

void DeleteVerbKey(const Call& call, const Verb& verb) {
  call.Step([&] {
    bool bNotFound = false;
    registry::fDeleteKey(kTop, VerbParent(verb, call.sClass), VerbKeyName(verb.keyName), bNotFound);
  });
}

void DeleteInstalledValue(const Call& call, std::string_view name) {
  call.Step([&] {
    bool bNotFound = false;
    registry::fDeleteValue(kTop, kInstalledKey, std::string(name), bNotFound);
  });
}

void WriteInstalledValue(const Call& call, std::string_view name) {
  call.Step([&] { registry::fWriteValue(kTop, kInstalledKey, std::string(name), "D", "1"); });
}

// What a verb key holds besides its icon: a handler's CLSID, or the label (with the runas
// verb's empty "NoWorkingDirectory") and the command.
void WriteVerb(const Call& call, const Verb& verb) {
  const std::string key = VerbKey(verb, call.sClass);
  if (verb.kind == VerbKind::kHandler) {
    call.Step([&] { registry::fWriteValue(kTop, key, "", "S", std::string(verb.programName)); });
    return;
  }
  call.Step([&] {
    registry::fWriteValue(kTop, key, "", "S", Settings().sPrefix + std::string(verb.label));
  });
  if (verb.kind == VerbKind::kRunas) {
    call.Step([&] { registry::fWriteValue(kTop, key, "NoWorkingDirectory", "S", ""); });
  }
  call.Step([&] {
    registry::fWriteValue(kTop, key + "\\command", "", "S",
                          CommandLine(verb, Settings().sModulesPath));
  });
}

void WriteIcon(const Call& call, const Verb& verb) {
  if (verb.kind == VerbKind::kHandler || !Settings().bUseIcon) return;
  call.Step([&] {
    registry::fWriteValue(kTop, VerbKey(verb, call.sClass), "Icon", "S", Settings().sIconPath);
  });
}

bool GateOpen(const Verb& verb) {
  const std::string text =
      fs::ReadINIValue(Settings().sIniPath, "ShellExtensions", std::string(verb.gate));
  return verb.gateKind == GateKind::kOne ? text == "1" : text != "0";
}

// Whether the next verb of the list records itself under the same installed value: then
// that value is written, or deleted, once after both.
bool SharesValueWithNext(const std::vector<const Verb*>& verbs, std::size_t i) {
  return i + 1 < verbs.size() && !verbs[i]->installedValue.empty() &&
         verbs[i + 1]->installedValue == verbs[i]->installedValue;
}

// Removal: each verb's key, then its installed value (once, after the last verb sharing it).
void RemoveVerbs(const Call& call, const std::vector<const Verb*>& verbs) {
  for (std::size_t i = 0; i < verbs.size(); ++i) {
    DeleteVerbKey(call, *verbs[i]);
    if (!verbs[i]->installedValue.empty() && !SharesValueWithNext(verbs, i)) {
      DeleteInstalledValue(call, verbs[i]->installedValue);
    }
  }
}

// Install: verbs in order, those under one gate together; a closed gate skips its verbs.
// Each verb's key, then its installed value (after the last verb sharing it), then the icons
// of the verbs the value records. True when the last gate was open.
bool InstallVerbs(const Call& call, const std::vector<const Verb*>& verbs) {
  bool open = false;
  std::vector<const Verb*> unrecorded;
  for (std::size_t i = 0; i < verbs.size(); ++i) {
    const Verb& verb = *verbs[i];
    if (i == 0 || verbs[i - 1]->gate != verb.gate) {
      open = false;
      call.Step([&] { open = GateOpen(verb); });
    }
    if (!open) continue;
    WriteVerb(call, verb);
    unrecorded.push_back(&verb);
    if (SharesValueWithNext(verbs, i) && verbs[i + 1]->gate == verb.gate) continue;
    if (!verb.installedValue.empty()) WriteInstalledValue(call, verb.installedValue);
    for (const Verb* written : unrecorded) WriteIcon(call, *written);
    unrecorded.clear();
  }
  return open;
}

// The log line every routine starts with; false (nothing to do) for a removal without a
// class, which would name the keys of every class.
bool Begin(const Call& call) {
  call.Step([&] {
    DPrint(std::string(call.routine) + ": Type=" + call.sClass +
           " Uninstall=" + support::TrueFalse(call.uninstall));
  });
  if (call.uninstall && call.sClass.empty()) {
    support::DPrintCustomError(
        "During removal", "Variable sTargetFileType is empty!  Aborting to avoid registry damage!");
    return false;
  }
  return true;
}

// The routines that do no more than the common frame for their verbs. `proceed`, when
// given, runs right after the log line and may end the routine there.
void RunVerbGroup(std::string_view routine, const std::string& sClass, bool uninstall,
                  std::initializer_list<std::string_view> keyNames, bool (*proceed)() = nullptr) {
  const Call call{routine, sClass, uninstall};
  if (!Begin(call)) return;
  if (proceed != nullptr) {
    bool go = true;
    call.Step([&] { go = proceed(); });
    if (!go) return;
  }
  std::vector<const Verb*> verbs;
  call.Step([&] { verbs = Rows(keyNames); });
  if (uninstall) {
    RemoveVerbs(call, verbs);
  } else {
    InstallVerbs(call, verbs);
  }
}

// Before Vista the take-control verb needs takeown.exe, which Windows did not ship then.
bool TakeownAvailable() {
  const std::string windows = platform::Env().GetSystemWindowsDirectoryW();
  if (support::IsVista() || fs::DoesFileExist(windows + "\\System32\\takeown.exe", false)) {
    return true;
  }
  return ProvideTakeown();
}

bool IsRunasClass(const std::string& sClass) {
  const std::string lower = support::Lower(sClass);
  return lower == "directory\\background" || lower == "drive";
}

// The runas verb is a name other programs use too: it goes only when it is the toolkit's.
void RemoveRunas(const Call& call, const Verb& runas) {
  std::string command;
  call.Step([&] { command = RunasCommand(call.sClass); });
  if (!IsToolkitRunasCommand(command)) {
    support::DPrintInfo(std::string(call.routine),
                        "Keeping HKLM\\" + VerbKey(runas, call.sClass) +
                            ": its command is not the toolkit's: " + command);
    return;
  }
  DeleteVerbKey(call, runas);
}

}  // namespace

void InstAutoPelmEdition(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstAutoPelmEdition", sTargetFileType, bUninstall,
               {"!jAddToMalwareList", "!hDeleteAndRecord", "!iDeleteNoRecycle", "!lDeleteOnReboot",
                "!gRenameTo", "!mCheckExistenceOnPelm"});
}

void InstQsearch(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstQsearch", sTargetFileType, bUninstall,
               {"!5GoogleThis", "!6GoogleWithFullPath"});
}

void InstCopyPath(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstCopyPath", sTargetFileType, bUninstall, {"!0CopyPath"});
}

void InstFindTarget(std::string sTargetFileType, const bool& bUninstall) {
  // Windows 7 shows a shortcut's target itself: install mode writes nothing there.
  if (!bUninstall && support::IsWin7()) return;
  RunVerbGroup("InstFindTarget", sTargetFileType, bUninstall, {"!3OpenFolder"});
}

void InstCopyMoveTo(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstCopyMoveTo", sTargetFileType, bUninstall, {"!CopyTo", "!MoveTo"});
}

void InstOpenInNotepad(std::string sTargetFileType, const bool& bUninstall) {
  const Call call{"InstOpenInNotepad", sTargetFileType, bUninstall};
  if (!Begin(call)) return;
  const Verb& verb = Row("!4OpenInNotepad");
  if (bUninstall) {
    DeleteVerbKey(call, verb);
    DeleteInstalledValue(call, "OpenInNotepad");
    DeleteInstalledValue(call, "OpenUnknownInNotepad");
    return;
  }
  if (!InstallVerbs(call, {&verb})) return;
  if (sTargetFileType != "Unknown") return;
  bool makeDefault = false;
  call.Step([&] {
    makeDefault =
        fs::ReadINIValue(Settings().sIniPath, "ShellExtensions", "DefaultEditUnknown") == "1";
  });
  if (!makeDefault) return;
  call.Step([&] { BackupDefaultAction(sTargetFileType); });
  WriteVerb(call, verb);
  WriteIcon(call, verb);
  WriteInstalledValue(call, "OpenUnknownInNotepad");
  call.Step([&] {
    registry::fWriteValue(kTop, std::string(kClassesKey) + "Unknown\\Shell", "", "S",
                          VerbKeyName(verb.keyName));
  });
}

void InstCMDHere(std::string sTargetFileType, const bool& bUninstall) {
  const Call call{"InstCMDHere", sTargetFileType, bUninstall};
  if (!Begin(call)) return;
  const bool runasClass = IsRunasClass(sTargetFileType);
  const Verb& verb = Row(runasClass ? kRunasKeyName : "!2Command_Prompt_Here");
  bool vista = false;
  call.Step([&] { vista = support::IsVista(); });
  if (bUninstall) {
    if (!runasClass) {
      DeleteVerbKey(call, verb);
    } else if (vista) {
      RemoveRunas(call, verb);
    }
    DeleteInstalledValue(call, verb.installedValue);
    return;
  }
  bool open = false;
  call.Step([&] { open = GateOpen(verb); });
  if (!open) return;
  if (!runasClass || vista) {
    WriteVerb(call, verb);
    WriteIcon(call, verb);
  }
  WriteInstalledValue(call, verb.installedValue);
}

void InstDefrag(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstDefrag", sTargetFileType, bUninstall, {"!dDefragFileDir"});
}

void InstSecureDelete(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstSecureDelete", sTargetFileType, bUninstall, {"!kSecureDelete"});
}

void InstUploadToVT(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstUploadToVT", sTargetFileType, bUninstall, {"!9UploadToVT"});
}

void InstUnlockFile(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstUnlockFile", sTargetFileType, bUninstall, {"!eUnlockFile"});
}

void InstTakeOwner(std::string sTargetFileType, const bool& bUninstall) {
  // Removal does not depend on takeown.exe: the verb and its record go whatever the system
  // holds.
  RunVerbGroup("InstTakeOwner", sTargetFileType, bUninstall, {"!fTakeOwn"},
               bUninstall ? nullptr : &TakeownAvailable);
}

void InstRunWithParms(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstRunWithParms", sTargetFileType, bUninstall, {"!1RunWithParms"});
}

void InstWorkWithFile(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstWorkWithFile", sTargetFileType, bUninstall, {"exWorkWithFile"});
}

void InstRegSearch(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstRegSearch", sTargetFileType, bUninstall, {"!7RegSearch"});
}

void InstFindDups(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstFindDups", sTargetFileType, bUninstall, {"!8FindDups"});
}

void InstIsDLLLoaded(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstIsDLLLoaded", sTargetFileType, bUninstall, {"!cIsDLLLoaded"});
}

void InstRegSvr(std::string sTargetFileType, const bool& bUninstall) {
  RunVerbGroup("InstRegSvr", sTargetFileType, bUninstall, {"!aRegister_File", "!bUnregister_File"});
}

bool ProvideTakeown() { return false; }

std::string RunasCommand(const std::string& sClass) {
  return registry::ReadValueText(kTop, VerbKey(Row(kRunasKeyName), sClass) + "\\command", "", "S");
}

bool IsToolkitRunasCommand(const std::string& command) {
  return command.empty() || support::Lower(command) == support::Lower(kToolkitRunasCommand);
}

}  // namespace orvo::shellext
