// The key-deletion ladder.
#include "registry/delete_key.h"

#include "registry/keys.h"
#include "registry/values.h"
#include "registry_fixture.h"

namespace orvo::registry {
namespace {

using fake::FakeMachine;
using fake::StartedProgram;
using fixture::RegistryLadderTest;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

TEST_F(RegistryLadderTest, SubtreeGoesDeepestFirst) {
  // A key nobody may use, owned by the administrators as an install leaves it.
  machine.AddKey("HKLM\\Software\\Tarnwick\\Locked\\Inner");
  machine.KeySecurity("HKLM\\Software\\Tarnwick\\Locked")->dacl = platform::Acl{};
  machine.KeySecurity("HKLM\\Software\\Tarnwick\\Locked")->owner = platform::kSidAdministrators;
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 0);
  EXPECT_FALSE(notFound);
  EXPECT_FALSE(machine.KeyExists("HKLM\\Software\\Tarnwick"));
  ExpectDecoysKept();
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
  EXPECT_TRUE(machine.started.empty());

  std::vector<std::string> deletes;
  for (const auto& call : machine.calls) {
    if (call.rfind("RegDeleteKeyExW", 0) == 0) deletes.push_back(call);
  }
  EXPECT_THAT(deletes,
              ElementsAre(HasSubstr("Shell Extensions\\Installed, 0x100"),
                          HasSubstr("Shell Extensions\\DefaultBackups, 0x100"),
                          HasSubstr("Orvo\\Shell Extensions, 0x100"),
                          HasSubstr("Tarnwick\\Orvo, 0x100"), HasSubstr("Tarnwick\\Updater, 0x100"),
                          HasSubstr("Locked\\Inner, 0x100"), HasSubstr("Tarnwick\\Locked, 0x100"),
                          "RegDeleteKeyExW(HKLM\\Software\\Tarnwick, 0x100)"));
  EXPECT_THAT(LinesWith("fDeleteKey"), ElementsAre("\tmodRegistry\\fDeleteKey: "));
  EXPECT_EQ(machine.debugLines.back(), "\t\t- lResult: 0 SUCCESS");
  EXPECT_THAT(machine.debugLines,
              Contains("\tmodRegistry\\fDeleteSubkeys passed: HKLM\\Software\\Tarnwick\\Locked"));
}

TEST_F(RegistryLadderTest, MissingKeyIsSuccessAndNotFound) {
  machine.DeleteKeyTree("HKLM\\Software\\Tarnwick");
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 0);
  EXPECT_TRUE(notFound);
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tmodRegistry\\fDeleteSubkeys passed: HKLM\\Software\\Tarnwick",
                          "\tmodRegistry\\fDeleteSubkeys: Error opening key: Software\\Tarnwick",
                          "\tmodRegistry\\fDeleteKey: ", "\t\t- Key: HKLM\\Software\\Tarnwick",
                          "\t\t- lResult: 2 NOT FOUND"));
  // A missing parent is the same ordinary outcome.
  notFound = false;
  machine.debugLines.clear();
  EXPECT_EQ(fDeleteKey("HKLM", "Software\\Nowhere", "Tarnwick", notFound), 0);
  EXPECT_TRUE(notFound);
  EXPECT_EQ(machine.debugLines.back(), "\t\t- lResult: 2 NOT FOUND");
  ExpectDecoysKept();
}

TEST_F(RegistryLadderTest, UnknownTopKeyDoesNothing) {
  bool notFound = false;
  machine.calls.clear();
  EXPECT_EQ(fDeleteKey("HKEY_LOCAL_MACHINE", "Software", "Tarnwick", notFound), kNotCalled);
  EXPECT_FALSE(notFound);
  EXPECT_THAT(machine.debugLines, ElementsAre("\tmodRegistry\\fDeleteKey - VB ERROR: 0 ",
                                              "\t\t- Key: HKEY_LOCAL_MACHINE\\Software\\Tarnwick",
                                              "\t\t- lResult (0=Success 2=Not Found): 99"));
  EXPECT_THAT(machine.calls, Not(Contains(HasSubstr("Reg"))));
  EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick"));
}

// A computed key name that came out empty must never take its parent's subtree with it.
TEST_F(RegistryLadderTest, EmptyOrBlankNameDeletesNothing) {
  for (const char* name : {"", " ", "\\", "\\\\", " \\ ", "\t"}) {
    SCOPED_TRACE(std::string("name '") + name + "'");
    machine.debugLines.clear();
    machine.calls.clear();
    bool notFound = false;
    EXPECT_EQ(fDeleteKey("HKLM", "Software\\Tarnwick", name, notFound), 87);
    EXPECT_FALSE(notFound);
    EXPECT_THAT(machine.calls, Not(Contains(HasSubstr("Reg"))));
    EXPECT_TRUE(machine.started.empty());
    ASSERT_EQ(machine.debugLines.size(), 3U);
    EXPECT_EQ(machine.debugLines[0], "\tmodRegistry\\fDeleteKey - Error:  87");
    EXPECT_EQ(machine.debugLines[2], "\t\t- No key name given: nothing is deleted");
  }
  // The parent is below the root: an empty path there names the root itself.
  machine.debugLines.clear();
  fDeleteSubkeys(platform::kHkeyLocalMachine, "", "HKLM");
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tmodRegistry\\fDeleteSubkeys passed: HKLM\\",
                          "\tmodRegistry\\fDeleteSubkeys: No key path given: nothing is deleted"));
  EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions\\Installed"));
  EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick\\Updater"));
  ExpectDecoysKept();
}

// The ladder widens a key's access list to delete it; a key that stays gets its own list
// back, exactly as it was: a refused key and a refused child, and the key of a value.
TEST_F(RegistryLadderTest, AKeyThatStaysGetsItsAccessListBackExactly) {
  const platform::Sid carol{"S-1-5-21-1-2-3-1003"};
  const platform::Acl narrow{
      {platform::Ace{0, 0, 0x20019, carol}, platform::Ace{0, 0, 0x20019, platform::kSidUsers}}};
  const std::string key = "HKLM\\Software\\Tarnwick";
  const std::string child = "HKLM\\Software\\Tarnwick\\Updater";
  const std::string valueKey = "HKLM\\Software\\Tarnwick2";
  for (const std::string& path : {key, child, valueKey}) {
    // Owned by the administrators, as an install leaves a key: the elevated process may
    // rewrite the list although the list itself grants it nothing.
    machine.KeySecurity(path)->owner = platform::kSidAdministrators;
    machine.KeySecurity(path)->dacl = narrow;
    machine.KeySecurity(path)->control |= platform::kSeDaclProtected;
  }
  const platform::SecurityDescriptor keyBefore = *machine.KeySecurity(key);
  const platform::SecurityDescriptor childBefore = *machine.KeySecurity(child);
  machine.FailCall("RegDeleteKeyExW", key, platform::kErrorAccessDenied);
  machine.FailCall("RegDeleteKeyExW", child, platform::kErrorAccessDenied);
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  ASSERT_TRUE(machine.KeyExists(key));
  ASSERT_TRUE(machine.KeyExists(child));
  EXPECT_EQ(machine.KeySecurity(key)->dacl, keyBefore.dacl);
  EXPECT_EQ(machine.KeySecurity(key)->control, keyBefore.control);
  EXPECT_EQ(machine.KeySecurity(child)->dacl, childBefore.dacl);
  EXPECT_FALSE(machine.KeyExists("HKLM\\Software\\Tarnwick\\Orvo"));

  // A value deleted after the permission change (the list refuses the first try): its key
  // keeps the list it had.
  machine.SetStringValue(valueKey, "Pinned", "x");
  const platform::SecurityDescriptor valueKeyBefore = *machine.KeySecurity(valueKey);
  EXPECT_EQ(fDeleteValue("HKLM", "Software\\Tarnwick2", "Pinned", notFound), 0);
  EXPECT_FALSE(machine.GetValue(valueKey, "Pinned").has_value());
  EXPECT_EQ(machine.KeySecurity(valueKey)->dacl, valueKeyBefore.dacl);
  EXPECT_EQ(machine.KeySecurity(valueKey)->control, valueKeyBefore.control);
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
}

// SystemRoot and windir are the user's to set (HKCU\Environment): tools are looked for and
// started in the folders the system names, never in a folder the environment points at.
TEST_F(RegistryLadderTest, ToolsComeFromTheSystemFoldersNotTheEnvironment) {
  const std::string planted = "C:\\users\\root\\Downloads\\win";
  for (const char* tool : {"\\subinacl.exe", "\\System32\\subinacl.exe", "\\Sysnative\\reg.exe",
                           "\\System32\\reg.exe"}) {
    machine.AddFile(planted + tool);
    machine.InstallProgram(planted + tool);
  }
  machine.SetEnv("SystemRoot", planted);
  machine.SetEnv("windir", planted);
  // The 32-bit program's System32 (SysWOW64) holds the real one.
  machine.AddFile("C:\\windows\\syswow64\\subinacl.exe");
  machine.InstallProgram("C:\\windows\\syswow64\\subinacl.exe");
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied);
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  std::vector<std::string> commands;
  for (const auto& run : machine.started)
    commands.push_back(run.commandLine + run.file + " -> " + run.resolvedPath);
  EXPECT_THAT(commands, ::testing::Each(Not(HasSubstr("Downloads"))));
  EXPECT_THAT(commands, ElementsAre(HasSubstr("C:\\windows\\System32\\subinacl.exe"),
                                    HasSubstr("C:\\windows\\System32\\subinacl.exe"),
                                    HasSubstr("C:\\windows\\Sysnative\\reg.exe")));
}

// Putting the list back is reported when it is refused.
TEST_F(RegistryLadderTest, ARefusedRestoreIsLogged) {
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied);
  machine.FailCall("RegSetKeySecurity", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied,
                   5);
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  EXPECT_THAT(machine.debugLines,
              Contains(HasSubstr("SetPerm\\RestoreRegKeyDacl - the key's access list could not "
                                 "be written back: 5")));
}

TEST_F(RegistryLadderTest, RefusedTwiceEndsWithRegExeByFullPathInTheSameView) {
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied);
  // reg.exe removes the key; the result still reports the refused delete.
  machine.InstallProgram("C:\\windows\\system32\\reg.exe",
                         [](FakeMachine& m, const StartedProgram&) {
                           m.DeleteKeyTree("HKLM\\Software\\Tarnwick");
                           return platform::Dword{0};
                         });
  // Copies beside the program and in the current folder must never run.
  machine.currentFolder = "C:\\Users\\root\\Downloads";
  machine.AddFile("C:\\Tools\\reg.exe");
  machine.AddFile("C:\\Users\\root\\Downloads\\reg.exe");
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  EXPECT_FALSE(notFound);
  EXPECT_FALSE(machine.KeyExists("HKLM\\Software\\Tarnwick"));
  ExpectDecoysKept();

  ASSERT_EQ(machine.started.size(), 1U);
  EXPECT_EQ(machine.started[0].file, "C:\\windows\\Sysnative\\reg.exe");
  EXPECT_EQ(machine.started[0].parameters, "DELETE \"HKLM\\Software\\Tarnwick\" /f /reg:64");
  EXPECT_EQ(machine.started[0].show, 0U);
  EXPECT_EQ(fake::Lower(machine.started[0].resolvedPath), "c:\\windows\\system32\\reg.exe");
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);

  EXPECT_THAT(
      LinesWith("fDeleteKey"),
      ElementsAre("\tmodRegistry\\fDeleteKey - Error:  5", "\tmodRegistry\\fDeleteKey - Error:  5",
                  "\tmodRegistry\\fDeleteKey:  Still not working, attempting deletion with "
                  "reg.exe",
                  "\tmodRegistry\\fDeleteKey: "));
  EXPECT_THAT(LinesWith("\t\tKey:  "), ElementsAre("\t\tKey:  HKLM\\Software\\Tarnwick",
                                                   "\t\tKey:  HKLM\\Software\\Tarnwick"));
  EXPECT_THAT(LinesWith("second run"),
              ElementsAre("\t\t- Attempting second run using subinacl..."));
  EXPECT_THAT(LinesWith("cmd:"),
              ElementsAre("\t\tcmd:  reg.exe delete \"HKLM\\Software\\Tarnwick\" /f /reg:64"));
  EXPECT_EQ(machine.debugLines.back(), "\t\t- lResult (0=Success 2=Not Found): 5");
}

TEST_F(RegistryLadderTest, SecondRunTakesOwnershipWithSubinacl) {
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied, 1);
  machine.AddFile("C:\\Tools\\subinacl.exe");
  machine.AddFile("C:\\windows\\syswow64\\subinacl.exe");  // System32 as the program sees it
  machine.InstallProgram("C:\\Tools\\subinacl.exe");
  machine.SignFile("C:\\Tools\\subinacl.exe", "Microsoft Corporation");
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 0);
  EXPECT_FALSE(machine.KeyExists("HKLM\\Software\\Tarnwick"));
  std::vector<std::string> commands;
  for (const auto& s : machine.started) commands.push_back(s.commandLine);
  EXPECT_THAT(commands,
              ElementsAre("\"C:\\Tools\\subinacl.exe\" /keyreg "
                          "\"HKEY_LOCAL_MACHINE\\Software\\Tarnwick\" /setowner=administrators "
                          "/grant=root=f",
                          "\"C:\\Tools\\subinacl.exe\" /subkeyreg "
                          "\"HKEY_LOCAL_MACHINE\\Software\\Tarnwick\" /setowner=administrators "
                          "/grant=root=f"));
  EXPECT_EQ(machine.started[0].show, 1U);
  EXPECT_EQ(machine.debugLines.back(), "\t\t- lResult: 0 SUCCESS");
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);
}

TEST_F(RegistryLadderTest, RefusedEvenAfterSubinaclEndsWithRegExe) {
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied);
  machine.AddFile("C:\\Tools\\subinacl.exe");
  machine.SignFile("C:\\Tools\\subinacl.exe", "Microsoft Corporation");
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  std::vector<std::string> programs;
  for (const auto& s : machine.started) programs.push_back(fake::Lower(s.resolvedPath));
  EXPECT_THAT(programs, ElementsAre("c:\\tools\\subinacl.exe", "c:\\tools\\subinacl.exe",
                                    "c:\\windows\\system32\\reg.exe"));
  EXPECT_THAT(LinesWith("cmd:"),
              ElementsAre("\t\tcmd:  reg.exe delete \"HKLM\\Software\\Tarnwick\" /f /reg:64"));
  // The subtree went on the first attempt; only the refused key itself is left.
  EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick"));
  EXPECT_TRUE(machine.SubkeyNames("HKLM\\Software\\Tarnwick").empty());
  ExpectDecoysKept();
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);
}

TEST_F(RegistryLadderTest, Wow6432NodeKeyIsDeletedInThe32BitViewOnly) {
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Wow6432Node\\Tarnwick",
                   platform::kErrorAccessDenied);
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software\\Wow6432Node", "Tarnwick", notFound), 5);
  // The subtree went in the 32-bit view; the 64-bit key was never touched.
  EXPECT_FALSE(machine.KeyExists("HKLM\\Software\\Wow6432Node\\Tarnwick\\Orvo"));
  EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions\\Installed"));
  ASSERT_EQ(machine.started.size(), 1U);
  EXPECT_EQ(machine.started[0].parameters,
            "DELETE \"HKLM\\software\\wow6432node\\Tarnwick\" /f /reg:32");
}

TEST_F(RegistryLadderTest, MissingRegExeSkipsTheLastStep) {
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied);
  machine.is64BitWindows = false;  // 32-bit Windows: the tool lives in System32
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  ASSERT_EQ(machine.started.size(), 1U);
  EXPECT_EQ(machine.started[0].file, "C:\\windows\\System32\\reg.exe");
  EXPECT_EQ(machine.started[0].parameters, "DELETE \"HKLM\\Software\\Tarnwick\" /f");

  machine.started.clear();
  machine.DeleteKeyTree("HKLM\\Software\\Tarnwick");
  machine.AddKey("HKLM\\Software\\Tarnwick");
  ASSERT_TRUE(machine.DeleteFileW("C:\\windows\\system32\\reg.exe"));
  machine.boxes.clear();
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  EXPECT_TRUE(machine.started.empty());
  EXPECT_TRUE(machine.boxes.empty());  // no prompt for a missing tool
  EXPECT_THAT(machine.debugLines,
              Contains("\t\t- reg.exe not found, skipped: C:\\windows\\System32\\reg.exe"));
}

// subinacl.exe beside the program (Downloads) runs only when Microsoft signed it. A copy that
// is refused is named in an Info line; the ownership step then uses the system's own copy,
// and the value deletion goes on with the permission change alone.
TEST_F(RegistryLadderTest, SubinaclBesideTheProgramRunsOnlyWhenMicrosoftSignedIt) {
  const std::string beside = "C:\\Tools\\subinacl.exe";
  const struct {
    const char* name;
    const char* signer;  // nullptr: unsigned
    bool tampered;
    bool runs;
    const char* info;
  } cases[] = {
      {"unsigned double", nullptr, false, false,
       "Not run: C:\\Tools\\subinacl.exe has no valid Microsoft signature (0x800B0100)"},
      {"signed by someone else", "Tarnwick Ltd", false, false,
       "Not run: C:\\Tools\\subinacl.exe is signed by Tarnwick Ltd, not by Microsoft"},
      {"changed after signing", "Microsoft Corporation", true, false,
       "Not run: C:\\Tools\\subinacl.exe has no valid Microsoft signature (0x80096010)"},
      {"signed by Microsoft", "Microsoft Corporation", false, true, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMachine fresh;
    fresh.AddKey("HKLM\\Software\\Tarnwick\\Orvo");
    fresh.SetStringValue("HKLM\\Software\\Tarnwick\\Orvo", "Pinned", "x");
    fresh.AddFile("C:\\windows\\syswow64\\subinacl.exe");  // the system's copy
    fresh.AddFile(beside);
    if (c.signer != nullptr) fresh.SignFile(beside, c.signer);
    if (c.tampered) fresh.FailCall("WinVerifyTrust", beside, 0);
    fresh.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied, 1);
    fresh.FailCall("RegDeleteValueW", "HKLM\\Software\\Tarnwick\\Orvo",
                   platform::kErrorAccessDenied, 1);

    bool notFound = false;
    EXPECT_EQ(fDeleteValue("HKLM", "Software\\Tarnwick\\Orvo", "Pinned", notFound), 0);
    EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 0);

    std::vector<std::string> programs;
    for (const auto& s : fresh.started) programs.push_back(fake::Lower(s.resolvedPath));
    if (c.runs) {
      EXPECT_THAT(programs, ElementsAre("c:\\tools\\subinacl.exe", "c:\\tools\\subinacl.exe",
                                        "c:\\tools\\subinacl.exe", "c:\\tools\\subinacl.exe",
                                        "c:\\tools\\subinacl.exe"));
      EXPECT_THAT(fresh.debugLines, Not(Contains(HasSubstr("Not run:"))));
    } else {
      // No value-deletion run; the two ownership runs use the system's copy.
      EXPECT_THAT(programs, ElementsAre("c:\\windows\\syswow64\\subinacl.exe",
                                        "c:\\windows\\syswow64\\subinacl.exe"));
      const std::vector<std::string> expected = {"\tmodRegistry\\fDeleteValue: Info",
                                                 std::string("\t\t- ") + c.info,
                                                 "\tmodTakeOwn\\TakeOwnRegKey: Info"};
      EXPECT_THAT(fresh.debugLines, ::testing::IsSupersetOf(expected));
    }
  }
}

}  // namespace
}  // namespace orvo::registry
