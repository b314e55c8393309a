// A machine for the shell-extension tests: the classes the toolkit extends, a configuration
// file that opens every gate, and the toolkit's verbs put in place by its own install mode.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fs/paths.h"
#include "platform/fake/FakeMachine.h"
#include "shellext/catalogue.h"
#include "shellext/removal.h"
#include "shellext/settings.h"
#include "support/unicode.h"

namespace orvo::shellext::fixture {

using fake::FakeMachine;

inline constexpr const char* kSettings = "HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions";
inline constexpr const char* kInstalled =
    "HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions\\Installed";
inline constexpr const char* kBackups =
    "HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions\\DefaultBackups";
inline constexpr const char* kIni = "C:\\Tools\\Config\\toolkit.ini";
inline constexpr const char* kToolFolder = "C:\\Program Files\\Tarnwick\\Orvo\\";
inline constexpr const char* kNoOpen =
    "These files are small helper programs that can be used by other programs. Modifying them "
    "could make your computer less functional.";

struct WindowsVersion {
  const char* name;
  platform::Dword major;
  platform::Dword minor;
};
inline constexpr WindowsVersion kVersions[] = {
    {"XP", 5, 1}, {"Vista", 6, 0}, {"7", 6, 1}, {"10", 10, 0}};

// Where the system keeps its Program Files folders, as 64-bit Windows names them.
inline void SeedProgramFiles(FakeMachine& machine) {
  const std::string key = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  machine.SetStringValue(key, "ProgramFilesDir", "C:\\Program Files");
  machine.SetStringValue(key, "ProgramFilesDir (x86)", "C:\\Program Files (x86)");
}

class ShellExtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::ResetFsState();
    ResetShellExtState();
    ResetRemovalState();
    SeedProgramFiles(machine);
    // Every class the toolkit extends exists with its shell key, as on Windows.
    for (const Verb& verb : Catalogue()) {
      for (const std::string_view c : verb.classes) {
        machine.AddKey("HKLM\\" + VerbParent(verb, std::string(c)));
      }
    }
    machine.AddKey("HKLM\\SOFTWARE\\Classes\\AllFileSystemObjects\\Shell");
    // The toolkit's other parts keep their keys beside the bookkeeping.
    machine.AddKey("HKLM\\Software\\Tarnwick\\Orvo\\Updater");
    machine.SetStringValue("HKLM\\SOFTWARE\\Classes\\Unknown\\shell", "", "openas");
    // Verbs of others beside the toolkit's: they must stay.
    machine.AddKey(
        "HKLM\\SOFTWARE\\Classes\\AllFilesystemObjects\\shell\\OtherVendorVerb\\command");
    machine.AddKey("HKLM\\SOFTWARE\\Classes\\AllFilesystemObjects\\shell\\!CopyTo");
    machine.AddKey("HKLM\\SOFTWARE\\Classes\\exefile\\shell\\runas\\command");
    machine.SetStringValue("HKLM\\SOFTWARE\\Classes\\exefile\\shell\\runas\\command", "",
                           "\"%1\" %*");
    machine.AddKey(
        "HKLM\\SOFTWARE\\Classes\\AllFilesystemObjects\\shellex\\ContextMenuHandlers\\Other");
    machine.AddFile(kIni, platform::kFileAttributeArchive, GateFile("1"));
  }

  void SetVersion(const WindowsVersion& v) { machine.SetVersion(v.major, v.minor); }

  // A configuration file with every gate at `value` and Unknown opening in Notepad.
  static std::string GateFile(const std::string& value) {
    std::string text = "[ShellExtensions]\r\n";
    for (const Verb& verb : Catalogue()) text += std::string(verb.gate) + "=" + value + "\r\n";
    return text + "DefaultEditUnknown=1\r\n";
  }

  // The registry the tests compare: the classes and the vendor's keys.
  std::map<std::string, std::string> Image() const {
    auto image = machine.RegistryImage("HKLM\\SOFTWARE\\Classes");
    const auto vendor = machine.RegistryImage("HKLM\\Software\\Tarnwick");
    image.insert(vendor.begin(), vendor.end());
    return image;
  }

  // Puts every verb in place for every class of the removal, as the toolkit's installer does:
  // its install mode, then the bookkeeping values.
  // The cascading menus are Windows 7's: `cascades` adds them.
  void InstallEverything(const std::string& location = kToolFolder, bool cascades = true) {
    bool flag = true;
    LoadShellExtSettings(flag);
    Settings().sIniPath = kIni;
    const bool install = false;
    for (const Routine& routine : RemovalRoutines()) {
      for (const std::string_view c : RoutineClasses(routine.name)) {
        routine.run(std::string(c), install);
      }
    }
    machine.SetDwordValue(kSettings, "Installed", 1);
    machine.SetStringValue(kSettings, "Calling Application", "TarnwickShellExtensions");
    machine.SetStringValue(kSettings, "Installed Location", location);
    machine.SetStringValue(kSettings, "Prefix", "");
    machine.SetStringValue(kSettings, "PrefixIcon", "");
    for (const char* v :
         {"RegfileDefaultToNotepad", "BatchDefaultToNotepad", "ScriptDefaultToNotepad"}) {
      machine.SetDwordValue(kInstalled, v, 1);
    }
    machine.AddKey(std::string(kSettings) + "\\Qsearch");
    for (const char* verb : kLegacyVerbs) {
      machine.AddKey(std::string("HKLM\\SOFTWARE\\Classes\\AllFilesystemObjects\\shell\\") + verb +
                     "\\command");
    }
    if (cascades) {
      for (const char* cascade : kCascadeKeys) {
        machine.AddKey(std::string("HKLM\\") + kCascadeParent + "\\" + cascade + "\\Shell\\verb");
      }
    }
    machine.debugLines.clear();
    machine.calls.clear();
  }

  // What differs between two images, one line a key; empty when they are equal.
  static std::string ImageDiff(const std::map<std::string, std::string>& got,
                               const std::map<std::string, std::string>& want) {
    std::string diff;
    for (const auto& [key, values] : got) {
      const auto it = want.find(key);
      if (it == want.end()) {
        diff += "extra key " + key + "\n";
      } else if (it->second != values) {
        diff += "values of " + key + ": " + values + " instead of " + it->second + "\n";
      }
    }
    for (const auto& [key, values] : want) {
      if (got.count(key) == 0) diff += "missing key " + key + "\n";
    }
    return diff;
  }

  std::string Text(const std::string& key, const std::string& name) const {
    const auto value = machine.GetValue(key, name);
    if (!value) return "<missing>";
    std::string text = support::FromUtf16Bytes(value->data.data(), value->data.size());
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
  }

  // The debug lines that start with the text (after the leading TAB).
  std::vector<std::string> LinesStartingWith(const std::string& text) const {
    std::vector<std::string> out;
    for (const auto& line : machine.debugLines) {
      if (line.rfind("\t" + text, 0) == 0) out.push_back(line.substr(1));
    }
    return out;
  }
  bool Logged(const std::string& line) const {
    for (const auto& l : machine.debugLines) {
      if (l == "\t" + line) return true;
    }
    return false;
  }

  FakeMachine machine;
};

}  // namespace orvo::shellext::fixture
