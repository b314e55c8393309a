// The toolkit's context-menu verbs as data.
#include "shellext/catalogue.h"

#include <algorithm>
#include <array>

#include "support/strings.h"

namespace orvo::shellext {
namespace {

using P = Verb::Program;
using std::string_view;

constexpr string_view kAllFilesystemObjects[] = {"AllFilesystemObjects"};
constexpr string_view kExecutables[] = {"exefile",     "comfile",   "batfile", "cmdfile",
                                        "vbsfile",     "vbefile",   "wshfile", "wsffile",
                                        "Msi.Package", "Msi.Patch", "scrfile"};
constexpr string_view kPromptClasses[] = {"*", "Directory"};
constexpr string_view kRunasClasses[] = {"Drive", "Directory\\Background"};
constexpr string_view kLinks[] = {"lnkfile"};
constexpr string_view kNotepadClasses[] = {"AllFilesystemObjects", "Unknown"};
constexpr string_view kLibraries[] = {"dllfile", "ocxfile", "ax_auto_file"};
constexpr string_view kDlls[] = {"dllfile"};

constexpr GateKind kOne = GateKind::kOne;
constexpr GateKind kNotZero = GateKind::kNotZero;
constexpr VerbKind kVerb = VerbKind::kVerb;

// Key name, label, kind, program, program name (a handler's CLSID), arguments, installed
// value, gate, gate kind, classes, routine.
constexpr std::array<Verb, 27> kCatalogue{{
    {"!0CopyPath", "Copy Path to Clipboard", kVerb, P::kModule, "Filewright.exe", " -l %1",
     "CopyPath", "CopyPath", kOne, kAllFilesystemObjects, "InstCopyPath"},
    {"!1RunWithParms", "Run with Parameters", kVerb, P::kModule, "Filewright.exe", " -p %1",
     "RunWithParms", "RunWithParms", kOne, kExecutables, "InstRunWithParms"},
    {"!2Command_Prompt_Here", "Command Prompt Here", kVerb, P::kSystem, "cmd.exe", " /k pushd %V",
     "CommandPromptHere", "CMDHere", kOne, kPromptClasses, "InstCMDHere"},
    {kRunasKeyName, "Command Prompt Here", VerbKind::kRunas, P::kSystem, "cmd.exe", " /k pushd %v",
     "CommandPromptHere", "CMDHere", kOne, kRunasClasses, "InstCMDHere"},
    {"!3OpenFolder", "Find Shortcut Target", kVerb, P::kModule, "Filewright.exe", " -t %1",
     "FindTarget", "FindTargetFile", kOne, kLinks, "InstFindTarget"},
    {"!4OpenInNotepad", "Open in Notepad", kVerb, P::kSystem, "notepad.exe", " %1", "OpenInNotepad",
     "OpenInNotepad", kOne, kNotepadClasses, "InstOpenInNotepad"},
    {"!5GoogleThis", "Google This", kVerb, P::kModule, "qsearch.exe", " -f %1", "GoogleThis",
     "GoogleThis", kOne, kAllFilesystemObjects, "InstQsearch"},
    {"!6GoogleWithFullPath", "Google with Full Path", kVerb, P::kModule, "qsearch.exe", " -p %1",
     "GoogleWithFullPath", "GoogleThisWithPath", kOne, kAllFilesystemObjects, "InstQsearch"},
    {"!7RegSearch", "Search Registry", kVerb, P::kModule, "Filewright.exe", " -s %1", "RegSearch",
     "RegSearch", kNotZero, kAllFilesystemObjects, "InstRegSearch"},
    {"!8FindDups", "Find Dups", kVerb, P::kModule, "Filewright.exe", " -f %1", "FindDups",
     "FindDups", kNotZero, kAllFilesystemObjects, "InstFindDups"},
    {"!9UploadToVT", "Upload to VirusTotal", kVerb, P::kModule, "Filewright.exe", " -v %1",
     "UploadToVT", "UploadToVT", kNotZero, kAllFilesystemObjects, "InstUploadToVT"},
    {"!aRegister_File", "Register File (regsvr32)", kVerb, P::kRegsvr32, "regsvr32.exe ", "",
     "RegSvr", "RegSvr", kOne, kLibraries, "InstRegSvr"},
    {"!bUnregister_File", "Unregister File (regsvr32 /u)", kVerb, P::kRegsvr32, "regsvr32.exe /u ",
     "", "RegSvr", "RegSvr", kOne, kLibraries, "InstRegSvr"},
    {"!cIsDLLLoaded", "Is DLL Loaded", kVerb, P::kModule, "Filewright.exe", " -i %1", "IsDLLLoaded",
     "IsDLLLoaded", kNotZero, kDlls, "InstIsDLLLoaded"},
    {"!dDefragFileDir", "Defrag File/Dir", kVerb, P::kModule, "Filewright.exe", " -y %1", "Defrag",
     "Defrag", kNotZero, kAllFilesystemObjects, "InstDefrag"},
    {"!eUnlockFile", "Unlock File", kVerb, P::kModule, "Filewright.exe", " -u %1", "UnlockFile",
     "UnlockFile", kNotZero, kAllFilesystemObjects, "InstUnlockFile"},
    {"!fTakeOwn", "Take Control", kVerb, P::kModule, "Filewright.exe", " -g %1", "TakeControl",
     "TakeControl", kOne, kAllFilesystemObjects, "InstTakeOwner"},
    {"!gRenameTo", "Rename with Dummy File/Dir", kVerb, P::kModule, "Filewright.exe", " -r %1",
     "RenameTo", "Rename", kOne, kAllFilesystemObjects, "InstAutoPelmEdition"},
    {"!hDeleteAndRecord", "Delete", kVerb, P::kModule, "Filewright.exe", " -d %1",
     "DeleteAndRecord", "DelAndRec", kOne, kAllFilesystemObjects, "InstAutoPelmEdition"},
    {"!iDeleteNoRecycle", "Delete - Not Recycle", kVerb, P::kModule, "Filewright.exe", " -o %1", "",
     "DelAndRec", kOne, kAllFilesystemObjects, "InstAutoPelmEdition"},
    {"!jAddToMalwareList", "Blacklist and Delete", kVerb, P::kModule, "Filewright.exe", " -a %1",
     "AddToMalwareList", "AddToMalList", kOne, kAllFilesystemObjects, "InstAutoPelmEdition"},
    {"!kSecureDelete", "Secure Delete", kVerb, P::kModule, "Filewright.exe", " -x %1",
     "SecureDelete", "Defrag", kNotZero, kAllFilesystemObjects, "InstSecureDelete"},
    {"!lDeleteOnReboot", "Delete on Reboot", kVerb, P::kModule, "Filewright.exe", " -z %1", "",
     "DelAndRec", kOne, kAllFilesystemObjects, "InstAutoPelmEdition"},
    {"!mCheckExistenceOnPelm", "Check Existence on Pelm", kVerb, P::kModule, "Filewright.exe",
     " -c %1", "CheckExistenceOnPelm", "ChkExistOnPelm", kOne, kAllFilesystemObjects,
     "InstAutoPelmEdition"},
    {"exWorkWithFile", "Work with File/Dir", kVerb, P::kModule, "Filewright.exe", " -w %1",
     "WorkWithFile", "WorkWithFile", kNotZero, kAllFilesystemObjects, "InstWorkWithFile"},
    {"!CopyTo", "", VerbKind::kHandler, P::kNone, "{C2FBB630-2971-11D1-A18C-00C04FD75D13}", "",
     "CopyToFolder", "CopyTo", kOne, kAllFilesystemObjects, "InstCopyMoveTo"},
    {"!MoveTo", "", VerbKind::kHandler, P::kNone, "{C2FBB631-2971-11D1-A18C-00C04FD75D13}", "",
     "MoveToFolder", "MoveTo", kOne, kAllFilesystemObjects, "InstCopyMoveTo"},
}};

}  // namespace

std::span<const Verb> Catalogue() { return kCatalogue; }

const Verb* FindVerb(std::string_view keyName) {
  for (const Verb& verb : kCatalogue) {
    if (verb.keyName == keyName) return &verb;
  }
  return nullptr;
}

bool IsToolkitVerbName(std::string_view name) {
  const std::string lower = support::Lower(std::string(name));
  for (const Verb& verb : kCatalogue) {
    if (verb.kind != VerbKind::kRunas && support::Lower(std::string(verb.keyName)) == lower) {
      return true;
    }
  }
  return false;
}

std::vector<std::string_view> RoutineClasses(std::string_view routine) {
  std::vector<std::string_view> classes;
  for (const Verb& verb : kCatalogue) {
    if (verb.routine != routine) continue;
    for (const std::string_view c : verb.classes) {
      if (std::find(classes.begin(), classes.end(), c) == classes.end()) classes.push_back(c);
    }
  }
  return classes;
}

std::string VerbParent(const Verb& verb, const std::string& sClass) {
  return kClassesKey + sClass +
         (verb.kind == VerbKind::kHandler ? "\\shellex\\ContextMenuHandlers" : "\\shell");
}

std::string CommandLine(const Verb& verb, const std::string& sModulesPath) {
  const std::string name(verb.programName);
  const std::string arguments(verb.arguments);
  switch (verb.program) {
    case P::kModule:
      return "\"" + sModulesPath + name + "\"" + arguments;
    case P::kSystem:
      return "\"" + name + "\"" + arguments;
    case P::kRegsvr32:
      return name + "\"%1\"";
    case P::kNone:
      break;
  }
  return {};
}

}  // namespace orvo::shellext
