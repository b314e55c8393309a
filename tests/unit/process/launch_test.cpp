// The launchers: the prompt, the working folder, waiting, exit codes, handles, the log.
#include "process/launch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fs/paths.h"
#include "platform/fake/FakeMachine.h"

namespace orvo::process {
namespace {

using fake::FakeMachine;
using fake::StartedProgram;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// cmd.exe by its full path: the 32-bit program's System32 (SysWOW64 here).
const char* const kCmd = "C:\\windows\\system32\\cmd.exe";

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::ResetFsState();
    machine.AddFile("C:\\windows\\syswow64\\cmd.exe");
    machine.InstallProgram("C:\\windows\\syswow64\\cmd.exe");
    machine.AddFile("C:\\Program Files\\Tarnwick\\Orvo\\setup tool.exe");
    machine.InstallProgram("C:\\Program Files\\Tarnwick\\Orvo\\setup tool.exe", {}, 3);
    machine.AddDir("\\\\server\\share\\tools");
    machine.AddFile("\\\\server\\share\\tools\\remote tool.exe");
  }
  FakeMachine machine;
};

// An elevated program never lets the platform search for what it starts: a bare name (or a
// relative path) would find a copy planted in the program's own folder (Downloads) or the
// current one first. Every launcher refuses it, logs a line and starts nothing.
TEST_F(LauncherTest, ABareNameIsRefusedByEveryLauncher) {
  for (const char* planted : {"C:\\Tools\\cmd.exe", "C:\\Tools\\sub\\cmd.exe"}) {
    machine.AddFile(planted);
    machine.InstallProgram(planted);
  }
  std::string workDir;
  std::int32_t exitCode = -5;
  std::string err;
  EXPECT_FALSE(ShellX("cmd.exe", "/c tskill mmc /a", true, 0, "open", workDir, exitCode));
  EXPECT_FALSE(ShellX("sub\\cmd.exe", "/c exit 1", true, 0, "open", workDir, exitCode));
  EXPECT_FALSE(ShellAndWaitForTermination("cmd.exe /c exit 4", 0, err, 2000000000, false));
  EXPECT_FALSE(ShellNoWait("\"cmd.exe\" /c exit 0", 0));
  EXPECT_EQ(exitCode, -5);
  EXPECT_TRUE(machine.started.empty());
  EXPECT_TRUE(machine.boxes.empty());
  const std::string refused = " - not started: a program is started only by its full path: ";
  EXPECT_THAT(
      machine.debugLines,
      ::testing::IsSupersetOf({"\tCommonModule\\ShellX" + refused + "cmd.exe",
                               "\tCommonModule\\ShellX" + refused + "sub\\cmd.exe",
                               "\tCommonModule\\ShellAndWaitForTermination" + refused + "cmd.exe",
                               "\tCommonModule\\ShellNoWait" + refused + "cmd.exe"}));
}

// The program is named twice: as the application name, and quoted at the head of the
// command line, so that a path with blanks cannot be read as a shorter one.
TEST_F(LauncherTest, CommandLinesNameTheirProgramByItsQuotedFullPath) {
  std::string err;
  EXPECT_TRUE(
      ShellAndWaitForTermination(std::string(kCmd) + " /c exit 4", 0, err, 2000000000, false));
  EXPECT_TRUE(ShellNoWait("\"C:\\Program Files\\Tarnwick\\Orvo\\setup tool.exe\" /q", 1));
  ASSERT_EQ(machine.started.size(), 2U);
  EXPECT_EQ(machine.started[0].application, kCmd);
  EXPECT_EQ(machine.started[0].commandLine, "\"" + std::string(kCmd) + "\" /c exit 4");
  EXPECT_EQ(machine.started[1].application, "C:\\Program Files\\Tarnwick\\Orvo\\setup tool.exe");
  EXPECT_EQ(machine.started[1].commandLine,
            "\"C:\\Program Files\\Tarnwick\\Orvo\\setup tool.exe\" /q");
}

TEST(QuoteArgument, TheCRuntimeReadsItBackAsOneArgument) {
  const struct {
    const char* in;
    bool always;
    const char* out;
  } rows[] = {
      {"plain", false, "plain"},
      {"plain", true, "\"plain\""},
      {"", false, "\"\""},
      {"/grant=VM\\John Smith=F", false, "\"/grant=VM\\John Smith=F\""},
      {"say \"hi\"", false, "\"say \\\"hi\\\"\""},
      {"C:\\path with blank\\", false, "\"C:\\path with blank\\\\\""},
      {"a\\\\\"b", false, "\"a\\\\\\\\\\\"b\""},
      {"HKLM\\Software\\Tarnwick", true, "\"HKLM\\Software\\Tarnwick\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.in);
    EXPECT_EQ(QuoteArgument(row.in, row.always), row.out);
  }
}

TEST_F(LauncherTest, WaitsForTheExitCodeAndDerivesTheWorkingFolder) {
  std::string workDir = "C:\\does\\not\\exist";
  std::int32_t exitCode = 0;
  machine.InstallProgram("C:\\Program Files\\Tarnwick\\Orvo\\setup tool.exe", {}, 3, 5000);
  EXPECT_TRUE(ShellX("C:\\Program Files\\Tarnwick\\Orvo\\setup tool.exe", "/remove /force", true, 1,
                     "open", workDir, exitCode));
  EXPECT_EQ(exitCode, 3);
  EXPECT_EQ(workDir, "C:\\Program Files\\Tarnwick\\Orvo");
  EXPECT_EQ(machine.started[0].directory, "C:\\Program Files\\Tarnwick\\Orvo");
  EXPECT_EQ(machine.started[0].show, 1U);
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);
  EXPECT_GE(machine.tickCount, 1005000U);  // it returned only after the program ended
}

TEST_F(LauncherTest, NoWaitReturnsAtOnce) {
  std::string workDir;
  std::int32_t exitCode = 11;
  EXPECT_TRUE(ShellX("C:\\Program Files\\Tarnwick\\Orvo\\setup tool.exe", "", false, 1, "open",
                     workDir, exitCode));
  EXPECT_EQ(exitCode, 11);
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);
}

TEST_F(LauncherTest, DocumentOfARunningProgramGivesNoProcessToWaitFor) {
  machine.AddFile("C:\\data\\notes.txt");
  machine.documentsOpenedByRunningProgram.push_back("C:\\data\\notes.txt");
  std::string workDir;
  std::int32_t exitCode = 11;
  EXPECT_FALSE(ShellX("C:\\data\\notes.txt", "", true, 1, "open", workDir, exitCode));
  EXPECT_EQ(exitCode, 11);
}

TEST_F(LauncherTest, MissingPathAsksFirst) {
  const std::string missing = "C:\\Program Files\\Tarnwick\\gone.exe";
  std::string workDir;
  std::int32_t exitCode = 11;
  machine.ScriptAnswers({platform::kIdNo, platform::kIdYes});
  EXPECT_FALSE(ShellX(missing, "", true, 0, "open", workDir, exitCode));
  ASSERT_EQ(machine.boxes.size(), 1U);
  EXPECT_EQ(machine.boxes[0].text, missing);
  EXPECT_EQ(machine.boxes[0].caption, "File/Dir does not appear to exist, proceed anyway?");
  EXPECT_EQ(machine.boxes[0].type, platform::kMbYesNo);
  EXPECT_TRUE(machine.started.empty());
  EXPECT_THAT(machine.debugLines, ElementsAre("\tCommonModule\\ShellX FILE / DIR NOT FOUND",
                                              "\t\t- sShell=" + missing));

  machine.debugLines.clear();
  EXPECT_FALSE(ShellX(missing, "", true, 0, "open", workDir, exitCode));
  EXPECT_EQ(machine.boxes.size(), 2U);
  EXPECT_THAT(
      machine.debugLines,
      ElementsAre("\tCommonModule\\ShellX FILE / DIR NOT FOUND", "\t\t- sShell=" + missing,
                  "\tCommonModule\\ShellX ShellExecuteEx Fail: 2", "\t\t- sShell=" + missing));
  EXPECT_EQ(exitCode, 11);
}

TEST_F(LauncherTest, NetworkPathsGoToTheCommandLineLauncher) {
  struct Case {
    std::int32_t nShow;
    platform::Dword style;
  } cases[] = {{0, 0}, {2, 6}, {5, 1}, {1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nShow);
    machine.started.clear();
    std::string workDir = "untouched";
    std::int32_t exitCode = 11;
    EXPECT_TRUE(ShellX("\\\\server\\share\\tools\\remote tool.exe", "-x", true, c.nShow, "open",
                       workDir, exitCode));
    ASSERT_EQ(machine.started.size(), 1U);
    EXPECT_EQ(machine.started[0].via, "CreateProcessW");
    EXPECT_EQ(machine.started[0].commandLine, "\"\\\\server\\share\\tools\\remote tool.exe\" -x");
    EXPECT_EQ(machine.started[0].show, c.style);
    EXPECT_EQ(exitCode, 11);
    EXPECT_EQ(workDir, "untouched");
  }
}

TEST_F(LauncherTest, ShellXOld) {
  EXPECT_TRUE(
      ShellXOld("\"C:\\Program Files\\Tarnwick\\Orvo\\setup tool.exe\"", "/remove", false, 1));
  ASSERT_EQ(machine.started.size(), 1U);
  EXPECT_EQ(machine.started[0].commandLine,
            "\"C:\\Program Files\\Tarnwick\\Orvo\\setup tool.exe\" /remove");
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);

  EXPECT_FALSE(ShellXOld("C:\\nowhere\\x.exe", "", true, 1));
  EXPECT_EQ(machine.started.size(), 1U);
  EXPECT_THAT(machine.debugLines, ElementsAre("\tCommonModule\\ShellXOld FILE NOT FOUND",
                                              "\t\t- sPathAndFileName=C:\\nowhere\\x.exe"));
  EXPECT_TRUE(machine.boxes.empty());
}

TEST_F(LauncherTest, WaitForTermination) {
  std::string err = "before";
  EXPECT_TRUE(
      ShellAndWaitForTermination(std::string(kCmd) + " /c exit 4", 0, err, 2000000000, false));
  EXPECT_EQ(err, "before");
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tShellandWaitForTermination:  " + std::string(kCmd) + " /c exit 4",
                          "\t\tSuccess=True"));
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);
}

TEST_F(LauncherTest, WaitingLetsWindowMessagesThrough) {
  machine.InstallProgram("C:\\windows\\syswow64\\cmd.exe", {}, 0, 3000);
  machine.pendingMessages = 2;
  std::string err;
  EXPECT_TRUE(
      ShellAndWaitForTermination(std::string(kCmd) + " /c ping", 0, err, 2000000000, false));
  EXPECT_EQ(machine.pumpedMessages, 1);
  EXPECT_GE(machine.tickCount, 1003000U);
  std::string workDir;
  std::int32_t exitCode = 11;
  machine.pendingMessages = 1;
  EXPECT_TRUE(ShellX(kCmd, "/c ping", true, 0, "open", workDir, exitCode));
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(machine.pumpedMessages, 2);
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);
}

TEST_F(LauncherTest, WaitForTerminationTimesOut) {
  machine.InstallProgram("C:\\windows\\syswow64\\cmd.exe", {}, 0, 60000);
  const platform::Dword start = machine.tickCount;
  std::string err;
  EXPECT_FALSE(ShellAndWaitForTermination(std::string(kCmd) + " /c pause", 0, err, 1000, true));
  EXPECT_EQ(err, "The process has timed out.");
  EXPECT_GT(machine.tickCount - start, 1000U);
  EXPECT_LT(machine.tickCount - start, 2000U);
  EXPECT_EQ(machine.debugLines.back(), "\t\tSuccess=False");
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);
  // The program is left running.
  ASSERT_EQ(machine.started.size(), 1U);
  const platform::Handle h =
      machine.OpenProcess(platform::kProcessQueryInformation, false, machine.started[0].processId);
  platform::Dword code = 0;
  ASSERT_TRUE(machine.GetExitCodeProcess(h, code));
  EXPECT_EQ(code, platform::kStillActive);
  machine.CloseHandle(h);
}

TEST_F(LauncherTest, ProgramThatCannotStart) {
  std::string err;
  EXPECT_FALSE(ShellAndWaitForTermination("C:\\nowhere\\x.exe /q", 0, err, 2000000000, false));
  EXPECT_EQ(err, "The system cannot find the file specified.");
  EXPECT_THAT(
      machine.debugLines,
      ElementsAre("\tShellandWaitForTermination:  C:\\nowhere\\x.exe /q",
                  "\tCommonModule\\ShellAndWaitForTermination VB ERROR: 2 The system cannot "
                  "find the file specified.",
                  "\t\t- sShell=C:\\nowhere\\x.exe /q"));
  EXPECT_FALSE(fs::bFSRedirDisabled);

  machine.debugLines.clear();
  EXPECT_FALSE(ShellNoWait("C:\\nowhere\\x.exe", 0));
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tCommonModule\\ShellNoWait VB ERROR: 2 The system cannot find the file "
                          "specified.",
                          "\t\t- sShell=C:\\nowhere\\x.exe"));
  EXPECT_TRUE(ShellNoWait(std::string(kCmd) + " /c exit 0", 6));
  EXPECT_EQ(machine.started.back().show, 6U);
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);
}

TEST_F(LauncherTest, NativeSystemTool) {
  EXPECT_EQ(NativeSystemTool("reg.exe"), "C:\\windows\\Sysnative\\reg.exe");
  machine.UnsetEnv("ProgramFiles(x86)");  // the user's environment does not decide
  EXPECT_EQ(NativeSystemTool("reg.exe"), "C:\\windows\\Sysnative\\reg.exe");
  machine.is64BitWindows = false;
  EXPECT_EQ(NativeSystemTool("reg.exe"), "C:\\windows\\System32\\reg.exe");
}

}  // namespace
}  // namespace orvo::process
