// Ending processes by name: the four methods, their name rules and their log lines.
#include "process/terminate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fs/paths.h"
#include "platform/fake/FakeMachine.h"

namespace orvo::process {
namespace {

using fake::FakeMachine;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const char* const kShell = "C:\\windows\\system32\\cmd.exe";  // native: reached via Sysnative

class TerminateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::ResetFsState();
    machine.AddFile(kShell);
    mmc = machine.AddRunningProcess("mmc.exe");
    upper = machine.AddRunningProcess("MMC.EXE");
    longer = machine.AddRunningProcess("xmmc.exe");
    backup = machine.AddRunningProcess("mmc.exe.bak");
  }
  FakeMachine machine;
  platform::Dword mmc = 0, upper = 0, longer = 0, backup = 0;
};

// Every method ends only processes whose whole executable name is the name, in any case:
// a longer name that ends the same way belongs to another program.
TEST_F(TerminateTest, OnlyTheWholeNameInAnyCaseIsEnded) {
  for (const bool wmiWorks : {true, false}) {
    SCOPED_TRACE(wmiWorks ? "WMI ends processes" : "WMI cannot end processes");
    FakeMachine fresh;
    fresh.wmiCanTerminate = wmiWorks;
    const platform::Dword a = fresh.AddRunningProcess("mmc.exe");
    const platform::Dword b = fresh.AddRunningProcess("Mmc.Exe");
    const platform::Dword c = fresh.AddRunningProcess("xmmc.exe");
    const platform::Dword d = fresh.AddRunningProcess("mmc.exe.bak");
    KillProcessByName("C:\\windows\\system32\\MMC.exe", true);
    EXPECT_FALSE(fresh.ProcessRunning(a));
    EXPECT_FALSE(fresh.ProcessRunning(b));
    EXPECT_TRUE(fresh.ProcessRunning(c));
    EXPECT_TRUE(fresh.ProcessRunning(d));
    EXPECT_THAT(fresh.debugLines, IsEmpty());  // a refusing WMI says nothing
  }
}

// Each method alone: the snapshot walk, and WMI with the snapshot out of the way.
TEST_F(TerminateTest, TheSnapshotWalkAndWmiEachEndTheProcess) {
  KillProcess("mmc.exe");
  EXPECT_FALSE(machine.ProcessRunning(mmc));
  EXPECT_FALSE(machine.ProcessRunning(upper));
  EXPECT_TRUE(machine.ProcessRunning(longer));

  FakeMachine other;
  const platform::Dword target = other.AddRunningProcess("mmc.exe");
  const platform::Dword near = other.AddRunningProcess("xmmc.exe");
  KillProcessViaWMI("MMC.EXE");
  EXPECT_FALSE(other.ProcessRunning(target));
  EXPECT_TRUE(other.ProcessRunning(near));
  EXPECT_EQ(other.OpenProcessHandleCount(), 0U);
}

TEST_F(TerminateTest, FailuresAreLoggedAndTheOtherMethodsStillRun) {
  machine.FailCall("CreateToolhelp32Snapshot", "", platform::kErrorAccessDenied);
  machine.wmiAvailable = false;
  KillProcessByName("mmc.exe", false);
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tCommonModule\\KillProcess VB ERROR: 5 Access is denied.",
                          "\t\t- sProcessName=mmc.exe",
                          HasSubstr("\tCommonModule\\KillProcessViaWMI VB ERROR: -2147217407"),
                          "\t\t- sProcessName=mmc.exe"));
  // tskill still ran, and, with both other methods gone, nothing else ended the process.
  ASSERT_EQ(machine.started.size(), 1U);
  EXPECT_TRUE(machine.ProcessRunning(mmc));
}

// tskill: the native shell and tskill itself by their full paths, started in the system
// folder, hidden, waited for when asked; never a cmd.exe or tskill.exe of the user's.
TEST_F(TerminateTest, TskillRunsThroughTheSystemsOwnShellByFullPath) {
  for (const char* planted : {"C:\\Tools\\cmd.exe", "C:\\Tools\\tskill.exe"}) {
    machine.AddFile(planted);
    machine.InstallProgram(planted);
  }
  machine.InstallProgram(kShell, {}, 0, 5000);  // runs for a while
  const platform::Dword before = machine.tickCount;
  KillProcessByName("mmc.exe", true);
  ASSERT_EQ(machine.started.size(), 1U);
  const fake::StartedProgram& run = machine.started[0];
  EXPECT_EQ(run.file, "C:\\windows\\Sysnative\\cmd.exe");
  EXPECT_EQ(run.parameters, "/c \"\"C:\\windows\\System32\\tskill.exe\" mmc.exe /a\"");
  EXPECT_EQ(run.directory, "C:\\windows\\System32");
  EXPECT_EQ(run.show, platform::kSwHide);
  EXPECT_GE(machine.tickCount - before, 5000U);  // waited for it

  // A machine without the shell: the step is skipped, no question is asked.
  FakeMachine bare;
  KillProcessByName("mmc.exe", true);
  EXPECT_TRUE(bare.started.empty());
  EXPECT_TRUE(bare.boxes.empty());
}

// A numeric name is a process id as well: the debug privilege is switched on for the call
// and off again.
TEST_F(TerminateTest, ANumericNameEndsThatProcessIdWithTheDebugPrivilege) {
  KillProcessByName(std::to_string(longer), false);
  EXPECT_FALSE(machine.ProcessRunning(longer));
  EXPECT_TRUE(machine.ProcessRunning(mmc));
  EXPECT_THAT(machine.calls, Contains("AdjustTokenPrivileges(SeDebugPrivilege, on)"));
  EXPECT_THAT(machine.calls, Contains("AdjustTokenPrivileges(SeDebugPrivilege, off)"));
  EXPECT_FALSE(machine.privileges.at("SeDebugPrivilege"));
  EXPECT_FALSE(KillProcess2(999999, 0));  // no such process
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);

  machine.calls.clear();
  KillProcessByName("mmc.exe", false);
  EXPECT_THAT(machine.calls, Not(Contains(HasSubstr("SeDebugPrivilege"))));
}

}  // namespace
}  // namespace orvo::process
