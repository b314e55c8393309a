// The toolkit's context-menu verbs as data: where each one lives in the registry, what it
// shows and runs, how the toolkit's bookkeeping records it, and which classes carry it.
#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::shellext {

// The bookkeeping key below HKLM and its subkeys.
inline constexpr const char* kVendorOrvoKey = "Software\\Tarnwick\\Orvo";
inline constexpr const char* kSettingsKeyName = "Shell Extensions";
inline constexpr const char* kSettingsKey = "Software\\Tarnwick\\Orvo\\Shell Extensions";
inline constexpr const char* kInstalledKey =
    "Software\\Tarnwick\\Orvo\\Shell Extensions\\Installed";
inline constexpr const char* kDefaultBackupsName = "DefaultBackups";
inline constexpr const char* kDefaultBackupsKey =
    "Software\\Tarnwick\\Orvo\\Shell Extensions\\DefaultBackups";
// The per-class keys below HKLM.
inline constexpr const char* kClassesKey = "SOFTWARE\\Classes\\";
// The class whose cascading menus the toolkit adds, spelt as the toolkit spells it there.
inline constexpr const char* kCascadeParent = "Software\\Classes\\AllFileSystemObjects\\Shell";
inline constexpr const char* kCascadeKeys[] = {"Extensions", "Extensions - Action"};
// Names of the rename and existence-check verbs that older toolkit versions wrote.
inline constexpr const char* kLegacyVerbClass = "AllFilesystemObjects";
inline constexpr const char* kLegacyVerbs[] = {
    "!z3RenameTo", "!z4RenameTo", "!z4CheckExistenceOnPelm", "!z5CheckExistenceOnPelm"};
// The installer tool the toolkit ships, and the arguments that make it take the verbs out.
inline constexpr const char* kInstallerTool = "TarnwickShellExtensions.exe";
inline constexpr const char* kInstallerToolArguments = "/remove /force";
// The command-prompt verb's fixed key name for the classes Drive and Directory\Background.
inline constexpr const char* kRunasKeyName = "runas";

// The configuration key that gates a verb in install mode: kOne installs only when it reads
// "1", kNotZero unless it reads "0".
enum class GateKind { kOne, kNotZero };

// How a verb is written: a menu verb below <class>\shell, a context-menu handler below
// <class>\shellex\ContextMenuHandlers (its default value a CLSID), or the fixed-name runas
// verb below <class>\shell with its "NoWorkingDirectory" value.
enum class VerbKind { kVerb, kHandler, kRunas };

struct Verb {
  std::string_view keyName;
  std::string_view label;  // empty for a handler
  VerbKind kind;
  // The command line's parts: a toolkit program (run from the modules folder), a system
  // program (named alone, in quotes), or the regsvr32 text; empty for a handler.
  enum class Program { kNone, kModule, kSystem, kRegsvr32 } program;
  std::string_view programName;  // for a handler: its CLSID
  std::string_view arguments;
  std::string_view installedValue;  // empty: none
  std::string_view gate;
  GateKind gateKind;
  std::span<const std::string_view> classes;
  std::string_view routine;  // the per-verb routine that installs and removes it
};

// Every verb of the toolkit, in the order of their ordering characters; the fixed-name runas
// verb is the one row whose key name is not the toolkit's own.
std::span<const Verb> Catalogue();
// The row for a key name (exact), or nullptr.
const Verb* FindVerb(std::string_view keyName);
// True when the name (any letter case) is the key name of one of the toolkit's own verbs (the
// fixed-name runas excluded).
bool IsToolkitVerbName(std::string_view name);
// The classes a routine's verbs are written for, in catalogue order, each once: the classes
// the removal runs that routine for.
std::vector<std::string_view> RoutineClasses(std::string_view routine);
// The parent key of a verb for a class, below HKLM: "SOFTWARE\Classes\<class>\shell" or
// "...\shellex\ContextMenuHandlers".
std::string VerbParent(const Verb& verb, const std::string& sClass);

// The command line a verb runs (empty for a handler): a toolkit program in quotes from the
// modules folder, a system program in quotes by its name, or the regsvr32 text with "%1" in
// quotes; then the arguments as they stand.
std::string CommandLine(const Verb& verb, const std::string& sModulesPath);

}  // namespace orvo::shellext
