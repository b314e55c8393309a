// The per-verb routines against the in-memory machine: what install mode writes, what removal
// takes out, and the cases where a routine must leave a key alone.
#include "shellext/verbs.h"

#include "shellext_fixture.h"

namespace orvo::shellext {
namespace {

using fixture::kIni;
using fixture::kInstalled;
using fixture::ShellExtTest;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

constexpr bool kRemove = true;
constexpr bool kInstall = false;
constexpr const char* kAll = "HKLM\\SOFTWARE\\Classes\\AllFilesystemObjects";

class VerbsTest : public ShellExtTest {
 protected:
  void SetUp() override {
    ShellExtTest::SetUp();
    bool flag = true;
    LoadShellExtSettings(flag);
    Settings().sIniPath = kIni;
  }
  std::vector<std::string> CallsStartingWith(const std::string& text) const {
    std::vector<std::string> out;
    for (const auto& call : machine.calls) {
      if (call.rfind(text, 0) == 0) out.push_back(call);
    }
    return out;
  }
};

// Install mode writes each verb as the catalogue gives it: label, command (with the modules
// folder for the toolkit's programs), installed value; handlers get their CLSID only.
TEST_F(VerbsTest, InstallWritesTheCatalogue) {
  InstCopyPath("AllFilesystemObjects", kInstall);
  InstRegSvr("dllfile", kInstall);
  InstCopyMoveTo("AllFilesystemObjects", kInstall);
  InstCMDHere("Directory", kInstall);
  InstOpenInNotepad("AllFilesystemObjects", kInstall);
  const std::string shell = std::string(kAll) + "\\shell\\";
  EXPECT_EQ(Text(shell + "!0CopyPath", ""), "Copy Path to Clipboard");
  EXPECT_EQ(Text(shell + "!0CopyPath\\command", ""),
            "\"C:\\Tools\\Modules\\Filewright.exe\" -l %1");
  EXPECT_EQ(Text("HKLM\\SOFTWARE\\Classes\\dllfile\\shell\\!aRegister_File\\command", ""),
            "regsvr32.exe \"%1\"");
  EXPECT_EQ(Text("HKLM\\SOFTWARE\\Classes\\dllfile\\shell\\!bUnregister_File\\command", ""),
            "regsvr32.exe /u \"%1\"");
  EXPECT_EQ(Text("HKLM\\SOFTWARE\\Classes\\Directory\\shell\\!2Command_Prompt_Here\\command", ""),
            "\"cmd.exe\" /k pushd %V");
  EXPECT_EQ(Text(shell + "!4OpenInNotepad\\command", ""), "\"notepad.exe\" %1");
  const std::string handlers = std::string(kAll) + "\\shellex\\ContextMenuHandlers\\";
  EXPECT_EQ(Text(handlers + "!CopyTo", ""), "{C2FBB630-2971-11D1-A18C-00C04FD75D13}");
  EXPECT_EQ(Text(handlers + "!MoveTo", ""), "{C2FBB631-2971-11D1-A18C-00C04FD75D13}");
  EXPECT_THAT(machine.SubkeyNames(handlers + "!CopyTo"), IsEmpty());
  for (const char* value : {"CopyPath", "RegSvr", "CopyToFolder", "MoveToFolder",
                            "CommandPromptHere", "OpenInNotepad"}) {
    const auto v = machine.GetValue(kInstalled, value);
    ASSERT_TRUE(v) << value;
    EXPECT_EQ(v->type, platform::kRegDword) << value;
  }
  // Two verbs under one record: the record once, after both.
  EXPECT_THAT(CallsStartingWith("RegSetValueExW(HKLM\\Software\\Tarnwick\\Orvo\\Shell "
                                "Extensions\\Installed, RegSvr"),
              ::testing::SizeIs(1));
}

// The gates: "= 1" installs only on "1", "≠ 0" unless "0"; a missing file or key reads "".
TEST_F(VerbsTest, GatesDecideWhatInstallWrites) {
  const struct {
    const char* file;
    bool oneGate;      // "!0CopyPath", gate CopyPath = 1
    bool notZeroGate;  // "!7RegSearch", gate RegSearch ≠ 0
  } rows[] = {{"[ShellExtensions]\r\nCopyPath=1\r\nRegSearch=1\r\n", true, true},
              {"[ShellExtensions]\r\nCopyPath=0\r\nRegSearch=0\r\n", false, false},
              {"[ShellExtensions]\r\nCopyPath=yes\r\nRegSearch=yes\r\n", false, true},
              {"[Other]\r\nCopyPath=1\r\n", false, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    machine.AddFile(kIni, platform::kFileAttributeArchive, row.file);
    InstCopyPath("AllFilesystemObjects", kInstall);
    InstRegSearch("AllFilesystemObjects", kInstall);
    EXPECT_EQ(machine.KeyExists(std::string(kAll) + "\\shell\\!0CopyPath"), row.oneGate);
    EXPECT_EQ(machine.KeyExists(std::string(kAll) + "\\shell\\!7RegSearch"), row.notZeroGate);
    EXPECT_EQ(machine.GetValue(kInstalled, "CopyPath").has_value(), row.oneGate);
    InstCopyPath("AllFilesystemObjects", kRemove);
    InstRegSearch("AllFilesystemObjects", kRemove);
  }
}

// Removal without a class would name the keys of no class, and of every one: nothing goes.
TEST_F(VerbsTest, RemovalWithoutAClassDeletesNothing) {
  InstCopyPath("AllFilesystemObjects", kInstall);
  machine.calls.clear();
  machine.debugLines.clear();
  InstCopyPath("", kRemove);
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tInstCopyPath: Type= Uninstall=True", "\tDuring removal: Custom Error",
                          "\t\t- Variable sTargetFileType is empty!  Aborting to avoid registry "
                          "damage!"));
  EXPECT_THAT(CallsStartingWith("RegDelete"), IsEmpty());
  EXPECT_TRUE(machine.KeyExists(std::string(kAll) + "\\shell\\!0CopyPath"));
}

// What each removal deletes, in order; keys of the same names elsewhere stay.
TEST_F(VerbsTest, RemovalDeletesTheGroupsKeysThenTheirRecords) {
  machine.SetDwordValue(kInstalled, "RegSvr", 1);
  for (const char* verb : {"!aRegister_File", "!bUnregister_File"}) {
    machine.AddKey(std::string("HKLM\\SOFTWARE\\Classes\\ocxfile\\shell\\") + verb + "\\command");
  }
  machine.calls.clear();
  InstRegSvr("ocxfile", kRemove);
  std::vector<std::string> order;
  for (const auto& call : machine.calls) {
    if (call.rfind("RegDeleteKeyExW(", 0) == 0 && call.find("\\command") == std::string::npos &&
        call.find("!") != std::string::npos) {
      order.push_back(call.substr(0, call.find(',')));
    }
    if (call.rfind("RegDeleteValueW(", 0) == 0) order.push_back(call);
  }
  EXPECT_THAT(order, ElementsAre(StartsWith("RegDeleteKeyExW(HKLM\\Software\\Classes\\ocxfile\\"
                                            "shell\\!aRegister_File"),
                                 StartsWith("RegDeleteKeyExW(HKLM\\Software\\Classes\\ocxfile\\"
                                            "shell\\!bUnregister_File"),
                                 "RegDeleteValueW(HKLM\\Software\\Tarnwick\\Orvo\\Shell "
                                 "Extensions\\Installed, RegSvr)"));
  // Handlers go only below shellex; a key of the same name below shell stays.
  InstCopyMoveTo("AllFilesystemObjects", kInstall);
  InstCopyMoveTo("AllFilesystemObjects", kRemove);
  EXPECT_TRUE(machine.KeyExists(std::string(kAll) + "\\shell\\!CopyTo"));
  EXPECT_FALSE(machine.KeyExists(std::string(kAll) + "\\shellex\\ContextMenuHandlers\\!CopyTo"));
  EXPECT_TRUE(machine.KeyExists(std::string(kAll) + "\\shellex\\ContextMenuHandlers\\Other"));
  // Both Notepad records go for any class, even where only one was there.
  machine.SetDwordValue(kInstalled, "OpenUnknownInNotepad", 1);
  InstOpenInNotepad("Unknown", kRemove);
  EXPECT_FALSE(machine.GetValue(kInstalled, "OpenUnknownInNotepad"));
}

// The command prompt's runas verb: a name other programs use too. It goes from Vista on when
// its command is the toolkit's (in any letter case) or it has none; another program's stays.
// Its record goes whatever the version.
TEST_F(VerbsTest, TheRunasVerbGoesOnlyWhenItIsTheToolkits) {
  const struct {
    const char* name;
    platform::Dword major;
    const char* sClass;
    const char* command;  // nullptr: no command key
    bool goes;
  } rows[] = {
      {"toolkit's, Vista", 6, "Directory\\Background", "\"cmd.exe\" /k pushd %v", true},
      {"toolkit's in capitals", 10, "DRIVE", "\"CMD.EXE\" /K PUSHD %V", true},
      {"no command", 6, "Drive", nullptr, true},
      {"another program's", 10, "Drive", "\"C:\\Tools\\other.exe\" \"%V\"", false},
      {"toolkit's, XP", 5, "Directory\\Background", "\"cmd.exe\" /k pushd %v", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    machine.SetVersion(row.major, 0);
    const std::string key =
        std::string("HKLM\\SOFTWARE\\Classes\\") + row.sClass + "\\shell\\runas";
    machine.AddKey(key);
    if (row.command != nullptr) machine.SetStringValue(key + "\\command", "", row.command);
    machine.SetDwordValue(kInstalled, "CommandPromptHere", 1);
    machine.debugLines.clear();
    InstCMDHere(row.sClass, kRemove);
    EXPECT_EQ(machine.KeyExists(key), !row.goes);
    EXPECT_FALSE(machine.GetValue(kInstalled, "CommandPromptHere"));
    const bool keptLine = std::find(machine.debugLines.begin(), machine.debugLines.end(),
                                    "\tInstCMDHere: Info") != machine.debugLines.end();
    EXPECT_EQ(keptLine, row.major >= 6 && !row.goes);
    machine.DeleteKeyTree(key);
  }
}

// Install mode's own branches: the runas form for Drive in any letter case (from Vista on),
// Unknown's default verb only for exactly "Unknown", nothing on Windows 7 for shortcuts, and
// the take-control verb before Vista only where takeown.exe is.
TEST_F(VerbsTest, InstallModeBranches) {
  machine.SetVersion(6, 0);
  InstCMDHere("DRIVE", kInstall);
  EXPECT_EQ(Text("HKLM\\SOFTWARE\\Classes\\Drive\\shell\\runas", "NoWorkingDirectory"), "");
  EXPECT_EQ(Text("HKLM\\SOFTWARE\\Classes\\Drive\\shell\\runas\\command", ""),
            "\"cmd.exe\" /k pushd %v");

  InstOpenInNotepad("unknown", kInstall);
  EXPECT_EQ(Text("HKLM\\SOFTWARE\\Classes\\Unknown\\shell", ""), "openas");
  InstOpenInNotepad("Unknown", kInstall);
  EXPECT_EQ(Text("HKLM\\SOFTWARE\\Classes\\Unknown\\shell", ""), "!4OpenInNotepad");
  EXPECT_EQ(Text(fixture::kBackups, "Unknown"), "openas");
  EXPECT_TRUE(machine.GetValue(kInstalled, "OpenUnknownInNotepad"));

  machine.SetVersion(6, 1);
  machine.debugLines.clear();
  InstFindTarget("lnkfile", kInstall);
  EXPECT_THAT(machine.debugLines, IsEmpty());
  EXPECT_FALSE(machine.KeyExists("HKLM\\SOFTWARE\\Classes\\lnkfile\\shell\\!3OpenFolder"));
  machine.AddKey("HKLM\\SOFTWARE\\Classes\\lnkfile\\shell\\!3OpenFolder");
  InstFindTarget("lnkfile", kRemove);
  EXPECT_FALSE(machine.KeyExists("HKLM\\SOFTWARE\\Classes\\lnkfile\\shell\\!3OpenFolder"));

  machine.SetVersion(5, 1);
  InstTakeOwner("AllFilesystemObjects", kInstall);
  EXPECT_FALSE(machine.KeyExists(std::string(kAll) + "\\shell\\!fTakeOwn"));
  EXPECT_FALSE(ProvideTakeown());
  // Removal does not depend on takeown.exe.
  machine.AddKey(std::string(kAll) + "\\shell\\!fTakeOwn\\command");
  machine.SetDwordValue(kInstalled, "TakeControl", 1);
  InstTakeOwner("AllFilesystemObjects", kRemove);
  EXPECT_FALSE(machine.KeyExists(std::string(kAll) + "\\shell\\!fTakeOwn"));
  EXPECT_FALSE(machine.GetValue(kInstalled, "TakeControl"));
  machine.AddFile("C:\\windows\\syswow64\\takeown.exe");
  InstTakeOwner("AllFilesystemObjects", kInstall);
  EXPECT_TRUE(machine.KeyExists(std::string(kAll) + "\\shell\\!fTakeOwn\\command"));
}

// Routines prepared by nothing name no key: nothing is deleted.
TEST_F(VerbsTest, AnUnpreparedRoutineNamesNoKey) {
  InstCopyPath("AllFilesystemObjects", kInstall);
  ResetShellExtState();
  InstCopyPath("AllFilesystemObjects", kRemove);
  EXPECT_TRUE(machine.KeyExists(std::string(kAll) + "\\shell\\!0CopyPath"));
}

}  // namespace
}  // namespace orvo::shellext
