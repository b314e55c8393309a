// The whole run: the three answers, the boxes, and the order and arguments of every step.
#include "cleanup/run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fs/paths.h"
#include "platform/fake/FakeMachine.h"

namespace orvo::cleanup {
namespace {

using fake::BoxRecord;
using fake::FakeMachine;
using fake::ServiceState;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const char* const kQuestion =
    "Remove all traces of any Tarnwick apps from the registry and Windows directory?\r\n"
    "Select NO to remove only Orvo related files/entries.";
const char* const kNotice =
    "Ok fair enough - but this will NOT remove %programfiles% subdirectories or scheduled "
    "tasks; use the program's uninstallation file to accomplish these tasks!";
const char* const kLibrary = "C:\\windows\\system32\\tarnwickeventlogmsghelper.dll";
const char* const kSearch = "C:\\windows\\qsearch.exe";

// The steps other modules supply, recorded into the machine's call list so that one
// list shows the order of everything Main does.
FakeMachine* g_machine = nullptr;
std::int32_t RecordDeleteKey(std::string top, std::string path, std::string sub, bool& bNotFound) {
  g_machine->calls.push_back("fDeleteKey(" + top + ", " + path + ", " + sub + ", " +
                             (bNotFound ? "True" : "False") + ")");
  return 0;
}
void RecordKillProcess(const std::string& name, bool wait) {
  g_machine->calls.push_back("KillProcessByName(" + name + ", " + (wait ? "True" : "False") + ")");
}
void RecordRemoveShellExtensions(bool force) {
  g_machine->calls.push_back(std::string("RemoveShellExtensions(") + (force ? "True" : "False") +
                             ")");
}
void RecordFixDefaults() { g_machine->calls.push_back("FixDefaults()"); }
bool RecordKillDir(const std::string& path, bool recreate) {
  g_machine->calls.push_back("KillDir(" + path + ", " + (recreate ? "True" : "False") + ")");
  return true;
}
Leftovers RecordFinishAndCheck(bool yes) {
  g_machine->calls.push_back(std::string("FinishAndCheck(") + (yes ? "True" : "False") + ")");
  return {};
}
const Steps kRecorders{&RecordDeleteKey,   &RecordKillProcess, &RecordRemoveShellExtensions,
                       &RecordFixDefaults, &RecordKillDir,     &RecordFinishAndCheck};

std::vector<std::string> ServiceCalls(const std::string& name) {
  return {"OpenSCManagerW(null, null, 0x1)",  "OpenServiceW(" + name + ", 0xf01ff)",
          "ControlService(" + name + ", 1)",  "DeleteService(" + name + ")",
          "CloseServiceHandle(" + name + ")", "CloseServiceHandle(SCM)"};
}

class MainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_machine = &machine;
    fs::ResetFsState();
    machine.AddService("OrvoStartupKillService", ServiceState::kRunning);
    machine.AddService("ReaperPlusService", ServiceState::kStopped);
    machine.AddService("Orvo_CFSvc", ServiceState::kStopped);
    machine.AddService("KeepThisService", ServiceState::kRunning);
    // Where the 32-bit program sees %systemroot%\system32, and its 64-bit twin.
    machine.AddFile("C:\\windows\\syswow64\\tarnwickeventlogmsghelper.dll");
    machine.AddFile("C:\\windows\\system32\\tarnwickeventlogmsghelper.dll");
    machine.AddFile(kSearch);
    machine.AddFile("C:\\windows\\qsearch.exe.bak");
    machine.AddFile("C:\\windows\\syswow64\\tarnwickeventlogmsghelper2.dll");
  }
  void TearDown() override { g_machine = nullptr; }

  // The state every answer but Cancel leaves: services and the search program gone,
  // the decoys and the other service kept.
  void ExpectOrvoTracesGone() {
    for (const char* s : {"OrvoStartupKillService", "ReaperPlusService", "Orvo_CFSvc"}) {
      EXPECT_FALSE(machine.HasService(s)) << s;
    }
    EXPECT_TRUE(machine.HasService("KeepThisService"));
    EXPECT_FALSE(machine.Exists(kSearch));
    EXPECT_TRUE(machine.Exists("C:\\windows\\qsearch.exe.bak"));
    EXPECT_TRUE(machine.Exists("C:\\windows\\syswow64\\tarnwickeventlogmsghelper2.dll"));
    EXPECT_TRUE(machine.Exists("C:\\windows\\system32\\tarnwickeventlogmsghelper.dll"));
    EXPECT_EQ(machine.OpenHandleCount(), 0U);
  }

  std::vector<std::string> CommonTail(bool yes) {
    std::vector<std::string> calls = {"RemoveShellExtensions(True)"};
    for (const char* s : {"OrvoStartupKillService", "ReaperPlusService", "Orvo_CFSvc"}) {
      const auto sc = ServiceCalls(s);
      calls.insert(calls.end(), sc.begin(), sc.end());
    }
    calls.insert(
        calls.end(),
        {"GetFileAttributesW(C:\\windows\\qsearch.exe)", "DeleteFileW(C:\\windows\\qsearch.exe)",
         "KillDir(C:\\users\\root\\Temp\\Orvo, False)",
         yes ? "FinishAndCheck(True)" : "FinishAndCheck(False)", "MessageBoxW(0x0)"});
    return calls;
  }

  FakeMachine machine;
};

MATCHER_P3(Box, text, type, answer, "") {
  return arg.text == text && arg.caption == "Orvo Cleanup" && arg.type == type &&
         arg.answer == answer && arg.owner == 0;
}

TEST_F(MainTest, CancelRemovesNothingAndShowsNoFurtherBox) {
  for (int answer : {platform::kIdCancel, FakeMachine::kFailBox}) {
    SCOPED_TRACE(answer);
    machine.boxes.clear();
    machine.calls.clear();
    machine.ScriptAnswers({answer});
    Main(kRecorders);
    EXPECT_EQ(machine.calls, std::vector<std::string>{"MessageBoxW(0x103)"});
    ASSERT_EQ(machine.boxes.size(), 1U);
    EXPECT_EQ(machine.boxes[0].text, kQuestion);
    EXPECT_TRUE(machine.HasService("OrvoStartupKillService"));
    EXPECT_TRUE(machine.Exists(kSearch));
  }
}

TEST_F(MainTest, NoAndReturnRemoveOnlyTheOrvoTraces) {
  for (int answer : {platform::kIdNo, FakeMachine::kPressReturn}) {
    SCOPED_TRACE(answer);
    FakeMachine fresh;  // each answer on its own machine
    g_machine = &fresh;
    fresh.AddService("OrvoStartupKillService", ServiceState::kRunning);
    fresh.AddFile("C:\\windows\\syswow64\\tarnwickeventlogmsghelper.dll");
    fresh.AddFile(kSearch);
    fresh.ScriptAnswers({answer});
    Main(kRecorders);
    EXPECT_THAT(fresh.boxes, ElementsAre(Box(kQuestion, 0x103U, platform::kIdNo),
                                         Box("Done!", 0x0U, platform::kIdOk)));
    EXPECT_EQ(fresh.calls.front(), "MessageBoxW(0x103)");
    EXPECT_EQ(fresh.calls[1], "RemoveShellExtensions(True)");
    EXPECT_FALSE(fresh.HasService("OrvoStartupKillService"));
    EXPECT_FALSE(fresh.Exists(kSearch));
    EXPECT_TRUE(fresh.Exists("C:\\windows\\syswow64\\tarnwickeventlogmsghelper.dll"));
    g_machine = &machine;
  }
}

TEST_F(MainTest, NoRunsTheStepsInOrderWithTheirArguments) {
  machine.ScriptAnswers({platform::kIdNo});
  Main(kRecorders);
  std::vector<std::string> expected = {"MessageBoxW(0x103)"};
  const auto tail = CommonTail(false);
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(machine.calls, expected);
  ExpectOrvoTracesGone();
  EXPECT_TRUE(machine.Exists("C:\\windows\\syswow64\\tarnwickeventlogmsghelper.dll"));
  EXPECT_THAT(machine.debugLines, IsEmpty());
}

TEST_F(MainTest, YesAlsoRemovesTheVendorTracesFirst) {
  machine.ScriptAnswers({platform::kIdYes, platform::kIdOk, platform::kIdOk});
  Main(kRecorders);
  std::vector<std::string> expected = {
      "MessageBoxW(0x103)",
      "MessageBoxW(0x0)",
      "FixDefaults()",
      "fDeleteKey(HKLM, Software, Tarnwick, False)",
      "GetFileAttributesW(C:\\windows\\system32\\tarnwickeventlogmsghelper.dll)",
      "KillProcessByName(mmc.exe, True)",
      "DeleteFileW(C:\\windows\\system32\\tarnwickeventlogmsghelper.dll)"};
  const auto tail = CommonTail(true);
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(machine.calls, expected);
  EXPECT_THAT(machine.boxes, ElementsAre(Box(kQuestion, 0x103U, platform::kIdYes),
                                         Box(kNotice, 0x0U, platform::kIdOk),
                                         Box("Done!", 0x0U, platform::kIdOk)));
  ExpectOrvoTracesGone();
  // The 32-bit program's system32 is syswow64: that copy goes, the 64-bit one stays.
  EXPECT_FALSE(machine.Exists("C:\\windows\\syswow64\\tarnwickeventlogmsghelper.dll"));
}

TEST_F(MainTest, NothingToRemoveStillEndsWithDone) {
  FakeMachine empty;
  g_machine = &empty;
  empty.ScriptAnswers({platform::kIdYes});
  Main(kRecorders);
  EXPECT_THAT(empty.calls,
              ::testing::Not(::testing::Contains(::testing::StartsWith("KillProcessByName"))));
  EXPECT_THAT(empty.calls,
              ::testing::Not(::testing::Contains(::testing::StartsWith("DeleteFileW"))));
  ASSERT_EQ(empty.boxes.size(), 3U);
  EXPECT_EQ(empty.boxes.back().text, "Done!");
  EXPECT_EQ(empty.OpenHandleCount(), 0U);
  g_machine = &machine;
}

// A failing step never stops the run; a file that could not be deleted is reported with its
// code, not passed over in silence.
TEST_F(MainTest, FailedStepsAreSkippedAndRefusedDeletesLogged) {
  machine.FailCall("DeleteFileW", "", platform::kErrorAccessDenied);
  machine.FailCall("OpenServiceW", "ReaperPlusService", platform::kErrorAccessDenied);
  machine.FailCall("MessageBoxW", "", 0, 2);  // the notice box cannot be shown
  machine.ScriptAnswers({platform::kIdYes});
  Main(kRecorders);
  EXPECT_TRUE(machine.Exists(kSearch));
  EXPECT_TRUE(machine.HasService("ReaperPlusService"));
  EXPECT_FALSE(machine.HasService("Orvo_CFSvc"));
  EXPECT_EQ(machine.boxes.back().text, "Done!");
  EXPECT_EQ(machine.OpenHandleCount(), 0U);
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tModule1\\Main - DeleteFile failed: 5 Access is denied.",
                          "\t\t- File: C:\\windows\\system32\\tarnwickeventlogmsghelper.dll",
                          "\tModule1\\Main - DeleteFile failed: 5 Access is denied.",
                          "\t\t- File: " + std::string(kSearch)));
}

// A system folder the platform cannot name skips its step, with a line saying so.
TEST_F(MainTest, UnknownSystemFoldersSkipTheirStepsAndSaySo) {
  machine.FailCall("GetSystemDirectoryW", "", platform::kErrorAccessDenied);
  machine.FailCall("GetSystemWindowsDirectoryW", "", platform::kErrorAccessDenied);
  machine.ScriptAnswers({platform::kIdYes});
  Main(kRecorders);
  EXPECT_TRUE(machine.Exists(kSearch));
  EXPECT_TRUE(machine.Exists("C:\\windows\\syswow64\\tarnwickeventlogmsghelper.dll"));
  EXPECT_THAT(machine.calls,
              ::testing::Not(::testing::Contains(::testing::HasSubstr("KillProcess"))));
  EXPECT_THAT(
      machine.debugLines,
      ElementsAre("\tModule1\\Main - the system folder is unknown, skipped: 5 Access is denied.",
                  "\tModule1\\Main - the Windows folder is unknown, skipped: 5 Access is denied."));
  EXPECT_EQ(machine.boxes.back().text, "Done!");
}

// The Windows and system folders come from the system: the user's environment (which HKCU
// can set) may point SystemRoot and windir at a folder of decoys, and nothing there is
// touched. The temporary folder stays the user's own, as the environment gives it.
TEST_F(MainTest, SystemFoldersComeFromTheSystemNotTheEnvironment) {
  const std::string planted = "C:\\users\\root\\Downloads\\win";
  for (const char* name : {"\\qsearch.exe", "\\system32\\tarnwickeventlogmsghelper.dll"}) {
    machine.AddFile(planted + name);
  }
  machine.SetEnv("SystemRoot", planted);
  machine.SetEnv("windir", planted);
  machine.UnsetEnv("TEMP");
  machine.ScriptAnswers({platform::kIdYes});
  Main(kRecorders);
  EXPECT_FALSE(machine.Exists(kSearch));
  EXPECT_FALSE(machine.Exists("C:\\windows\\syswow64\\tarnwickeventlogmsghelper.dll"));
  EXPECT_TRUE(machine.Exists(planted + "\\qsearch.exe"));
  EXPECT_TRUE(machine.Exists(planted + "\\system32\\tarnwickeventlogmsghelper.dll"));
  EXPECT_THAT(machine.calls, ::testing::Contains("KillDir(\\Orvo, False)"));
}

TEST_F(MainTest, TheRealStepsRunWithoutRecorders) {
  machine.ScriptAnswers({platform::kIdYes});
  Main();
  ExpectOrvoTracesGone();
  EXPECT_EQ(machine.boxes.size(), 3U);
}

// The vendor key through the real deletion ladder: gone after Yes with its subtree and a key
// that allows nobody, untouched after No and Cancel; the keys beside it always stay.
TEST_F(MainTest, OnlyYesDeletesTheVendorKey) {
  const struct {
    const char* name;
    int answer;
    bool vendorKeyGoes;
  } rows[] = {{"Yes", platform::kIdYes, true},
              {"No", platform::kIdNo, false},
              {"Cancel", platform::kIdCancel, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeMachine fresh;
    for (const char* key : {"HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions\\Installed",
                            "HKLM\\Software\\Tarnwick\\Locked", "HKLM\\Software\\TarnwickOther",
                            "HKLM\\Software\\Tarnwick2", "HKLM\\Software\\Wow6432Node\\Tarnwick"}) {
      fresh.AddKey(key);
    }
    fresh.KeySecurity("HKLM\\Software\\Tarnwick\\Locked")->dacl = platform::Acl{};
    fresh.ScriptAnswers({row.answer});
    Main();
    EXPECT_EQ(fresh.KeyExists("HKLM\\Software\\Tarnwick"), !row.vendorKeyGoes);
    EXPECT_EQ(fresh.KeyExists("HKLM\\Software\\Tarnwick\\Locked"), !row.vendorKeyGoes);
    for (const char* kept : {"HKLM\\Software\\TarnwickOther", "HKLM\\Software\\Tarnwick2",
                             "HKLM\\Software\\Wow6432Node\\Tarnwick"}) {
      EXPECT_TRUE(fresh.KeyExists(kept)) << kept;
    }
    EXPECT_TRUE(fresh.started.empty()) << "no outside tool was needed";
    EXPECT_EQ(fresh.OpenKeyCount(), 0U);
  }
}

}  // namespace
}  // namespace orvo::cleanup
