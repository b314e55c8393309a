// The end of a run against the in-memory machine: what is recorded for the next start, what is
// reported as left, and the last box's text.
#include "cleanup/final_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cleanup/run.h"
#include "fs/paths.h"
#include "platform/fake/FakeMachine.h"

namespace orvo::cleanup {
namespace {

using fake::FakeMachine;
using fake::ServiceState;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kTemp = "C:\\users\\root\\Temp";
const std::string kOrvo = kTemp + "\\Orvo";

TEST(LastBoxText, SaysDoneAloneOnlyWhenNothingIsLeft) {
  std::vector<std::string> seventeen;
  for (int i = 1; i <= 17; ++i) seventeen.push_back("File C:\\f" + std::to_string(i));
  std::string fifteen;
  for (int i = 1; i <= 15; ++i) fifteen += "\r\nFile C:\\f" + std::to_string(i);
  const struct {
    const char* name;
    Leftovers left;
    std::string text;
  } rows[] = {
      {"nothing left", {}, "Done!"},
      {"only what goes at the next start",
       {{"File C:\\windows\\qsearch.exe"}, {}},
       "Done!\r\n\r\nRemoved at the next start of Windows:\r\nFile C:\\windows\\qsearch.exe"},
      {"only what stays",
       {{}, {"Service ReaperPlusService", "Registry key HKEY_LOCAL_MACHINE\\Software\\Tarnwick"}},
       "Done!\r\n\r\nCould not be removed:\r\nService ReaperPlusService\r\nRegistry key "
       "HKEY_LOCAL_MACHINE\\Software\\Tarnwick"},
      {"both",
       {{"Folder C:\\t\\Orvo"}, {"Service Orvo_CFSvc"}},
       "Done!\r\n\r\nRemoved at the next start of Windows:\r\nFolder C:\\t\\Orvo\r\n\r\nCould "
       "not be removed:\r\nService Orvo_CFSvc"},
      {"more than fifteen",
       {seventeen, {}},
       "Done!\r\n\r\nRemoved at the next start of Windows:" + fifteen +
           "\r\n\xE2\x80\xA6 and 2 more"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(LastBoxText(row.left), row.text);
  }
}

class FinalCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::ResetFsState();
    for (const char* s : {"OrvoStartupKillService", "ReaperPlusService", "Orvo_CFSvc"}) {
      machine.AddService(s, ServiceState::kRunning);
    }
    machine.AddFile("C:\\windows\\qsearch.exe");
    machine.AddFile("C:\\windows\\syswow64\\tarnwickeventlogmsghelper.dll");
    machine.AddFile("C:\\windows\\system32\\tarnwickeventlogmsghelper.dll");
    machine.AddFile(kOrvo + "\\a\\held.bin");
    machine.AddFile(kOrvo + "\\a\\loose.txt");
    machine.AddFile(kOrvo + "\\top.txt");
    machine.AddFile(kTemp + "\\Orvo2\\held.bin");
    machine.AddKey("HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions\\Installed");
  }
  void Lock(const std::string& path) { machine.FindFile(path)->locked = true; }

  void Run(int answer) {
    machine.ScriptAnswers({answer, platform::kIdOk, platform::kIdOk});
    Main();
    EXPECT_FALSE(machine.boxes.empty());
  }
  std::string LastBox() const { return machine.boxes.back().text; }

  FakeMachine machine;
};

// A clean run: nothing is recorded and the box is "Done!" alone.
TEST_F(FinalCheckTest, ACleanRunEndsWithDoneAlone) {
  for (const int answer : {platform::kIdNo, platform::kIdYes}) {
    Run(answer);
    EXPECT_EQ(LastBox(), "Done!");
    EXPECT_THAT(machine.DeletionsAtNextStart(), IsEmpty());
  }
}

// Files another program holds: the search program, the library after Yes (recorded as the
// 32-bit system folder it really is, never the 64-bit one), a file in the temporary folder with
// its folders after it. What is outside the traces is never recorded, even when held.
TEST_F(FinalCheckTest, HeldFilesGoAtTheNextStartInOrder) {
  Lock("C:\\windows\\qsearch.exe");
  Lock("C:\\windows\\syswow64\\tarnwickeventlogmsghelper.dll");
  Lock(kOrvo + "\\a\\held.bin");
  Lock(kTemp + "\\Orvo2\\held.bin");
  Run(platform::kIdYes);
  EXPECT_THAT(
      machine.DeletionsAtNextStart(),
      ElementsAre("C:\\windows\\SysWOW64\\tarnwickeventlogmsghelper.dll",
                  "C:\\windows\\qsearch.exe", kOrvo + "\\a\\held.bin", kOrvo + "\\a", kOrvo));
  EXPECT_EQ(LastBox(),
            "Done!\r\n\r\nRemoved at the next start of Windows:\r\n"
            "File C:\\windows\\system32\\tarnwickeventlogmsghelper.dll\r\n"
            "File C:\\windows\\qsearch.exe\r\nFile " +
                kOrvo + "\\a\\held.bin\r\nFolder " + kOrvo + "\\a\r\nFolder " + kOrvo);
  EXPECT_TRUE(machine.Exists("C:\\windows\\system32\\tarnwickeventlogmsghelper.dll"));
  EXPECT_THAT(
      machine.debugLines,
      Contains("\t\t- Deleted at the next start of Windows: File C:\\windows\\qsearch.exe"));
  EXPECT_EQ(machine.OpenHandleCount(), 0U);
}

// What stays: a key nothing may delete, a service that cannot be deleted, a file that is not
// held but still refuses to go, a link and the folders that hold it. A service marked for
// deletion that goes on running goes at the next start.
TEST_F(FinalCheckTest, WhatResistsEveryFallbackIsListedAsLeft) {
  const std::string verb = "HKLM\\SOFTWARE\\Classes\\AllFilesystemObjects\\shell\\!0CopyPath";
  machine.AddKey(verb + "\\command");
  machine.FailCall("RegDeleteKeyExW", verb, platform::kErrorAccessDenied);
  machine.FindService("ReaperPlusService")->acceptsStop = false;
  machine.FailCall("DeleteService", "Orvo_CFSvc", platform::kErrorAccessDenied);
  machine.AddFolderLink(kOrvo + "\\link", "C:\\Outside");
  machine.AddFile("C:\\Outside\\held.bin");
  Lock("C:\\Outside\\held.bin");
  machine.FailCall("SetFileDispositionByHandle", kOrvo + "\\link", platform::kErrorAccessDenied);
  machine.FailCall("RemoveDirectoryW", kOrvo + "\\link", platform::kErrorAccessDenied);
  Run(platform::kIdNo);
  const std::string box = LastBox();
  EXPECT_THAT(box, StartsWith("Done!\r\n\r\nRemoved at the next start of Windows:\r\nService "
                              "ReaperPlusService\r\n\r\nCould not be removed:\r\n"));
  for (const std::string& item : std::vector<std::string>{
           "Registry key "
           "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\AllFilesystemObjects\\shell\\!0CopyPath",
           "Service Orvo_CFSvc", "Link " + kOrvo + "\\link", "Folder " + kOrvo}) {
    EXPECT_NE(box.find("\r\n" + item), std::string::npos) << item;
  }
  // Nothing is recorded through the link, and the folder that holds it is not recorded either.
  EXPECT_THAT(machine.DeletionsAtNextStart(), IsEmpty());
  EXPECT_TRUE(machine.Exists("C:\\Outside\\held.bin"));
}

// The check reads: apart from recording for the next start, it changes nothing.
TEST_F(FinalCheckTest, TheCheckChangesNothing) {
  Lock("C:\\windows\\qsearch.exe");
  machine.FindService("ReaperPlusService")->acceptsStop = false;
  machine.ScriptAnswers({platform::kIdNo});
  Main();
  machine.calls.clear();
  const auto before = machine.RegistryImage("HKLM\\SOFTWARE");
  const Leftovers left = FinishAndCheck(false);
  EXPECT_EQ(machine.RegistryImage("HKLM\\SOFTWARE"), before);
  for (const auto& call : machine.calls) {
    for (const char* change :
         {"RegDelete", "RegSet", "DeleteFile", "SetFileDisposition", "RemoveDirectory",
          "SetFileAttributes", "DeleteService", "ControlService", "RegCreate"}) {
      EXPECT_THAT(call, Not(StartsWith(change)));
    }
  }
  EXPECT_THAT(left.atNextStart, Contains("File C:\\windows\\qsearch.exe"));
  EXPECT_THAT(left.atNextStart, Contains("Service ReaperPlusService"));
}

// A second name of a file, held in the temporary folder, is not recorded: the system would
// delete it by name, and the name may be all that is left of a file outside the traces.
TEST_F(FinalCheckTest, AHeldFileWithOtherNamesIsNotRecorded) {
  machine.AddFile("C:\\Outside\\shared.bin");
  machine.AddHardLink(kOrvo + "\\shared.bin", "C:\\Outside\\shared.bin");
  Lock(kOrvo + "\\shared.bin");
  Run(platform::kIdNo);
  EXPECT_THAT(machine.DeletionsAtNextStart(), Not(Contains(kOrvo + "\\shared.bin")));
  EXPECT_THAT(machine.DeletionsAtNextStart(), Not(Contains(kOrvo)));
  EXPECT_TRUE(machine.Exists("C:\\Outside\\shared.bin"));
}

}  // namespace
}  // namespace orvo::cleanup
