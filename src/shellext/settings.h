// The settings the shell-extension routines share for the whole run, and their preparation.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace orvo::shellext {

struct ShellExtSettings {
  // The key names of the toolkit's own verbs (the catalogue's, the fixed-name runas not
  // among them); empty until SetVerbKeyNames ran, so an unprepared routine names no key.
  std::vector<std::string> verbKeyNames;
  std::string sModulesPath;  // the program's folder followed by "Modules\"
  std::string sIconPath;     // the "Icon" value install mode writes
  std::string sExeName;      // the program's file name without its extension
  // Inputs of install mode that nothing in this program assigns.
  std::string sPrefix;
  bool bUseIcon = false;
  std::string sIniPath;
};

// The module's settings; Reset puts them back to their state at start.
ShellExtSettings& Settings();
void ResetShellExtState();

// Assigns the toolkit's verb key names.
void SetVerbKeyNames();
// Stores the program's own file name without its extension in sExeName.
void StoreExeName();
// Prepares the settings: modules folder, verb key names, icon path (with a log line on
// Windows 7 and later when the icon is missing), the program's name. Each step that fails is
// logged and the next one runs.
void LoadShellExtSettings(bool& flag);

// The key name of a catalogue row as the settings hold it: the fixed-name runas as it
// stands, any other row only once SetVerbKeyNames ran (empty before).
std::string VerbKeyName(std::string_view catalogueName);

}  // namespace orvo::shellext
