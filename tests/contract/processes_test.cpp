// Contract of the launch calls the system relies on: starting a program both ways, waiting for
// it while window messages may arrive, and reading its exit code.
#include <gtest/gtest.h>

#include "backend.h"

namespace orvo::contract {
namespace {

using platform::Dword;
using platform::GetLastError;
using platform::Handle;
using platform::kInfinite;
using platform::kSynchronize;
using platform::Processes;
using platform::UniqueKernelHandle;

// No error box of the shell's own: a missing file must answer, not wait for a click.
constexpr Dword kSeeMaskFlagNoUi = 0x400;

// Waits as the system's launchers do: window messages are processed until the process ends.
Dword WaitForEnd(Handle process) {
  for (;;) {
    const Dword answer = Processes().MsgWaitForMultipleObjects(process, kInfinite);
    if (answer != platform::kWaitObject0 + 1) return answer;
    Processes().PumpMessages();
  }
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

class ProcessesContract : public ::testing::Test {
 protected:
  std::unique_ptr<Machine> machine = Machine::Create();
};

TEST_F(ProcessesContract, CreatedProcessRunsUntilReleasedThenAnswersItsExitCode) {
  platform::ProcessInformation info;
  ASSERT_TRUE(Processes().CreateProcessW(
      machine->ExitCodeProgram(),
      Quoted(machine->ExitCodeProgram()) + " 7 " + machine->HoldArgument(), platform::kSwHide,
      info))
      << GetLastError();
  const UniqueKernelHandle process(info.hProcess);
  const UniqueKernelHandle thread(info.hThread);
  EXPECT_TRUE(process);
  EXPECT_TRUE(thread);
  EXPECT_NE(info.dwProcessId, 0u);
  EXPECT_NE(info.dwThreadId, 0u);

  Dword code = 0;
  ASSERT_TRUE(Processes().GetExitCodeProcess(process.get(), code)) << GetLastError();
  EXPECT_EQ(code, platform::kStillActive);
  EXPECT_EQ(Processes().MsgWaitForMultipleObjects(process.get(), 0), platform::kWaitTimeout);

  // The launcher waits on a handle of its own, opened by the process id.
  const UniqueKernelHandle byId(Processes().OpenProcess(
      platform::kProcessQueryInformation | kSynchronize, false, info.dwProcessId));
  ASSERT_TRUE(byId) << GetLastError();

  machine->ReleaseHeldPrograms();
  EXPECT_EQ(WaitForEnd(byId.get()), platform::kWaitObject0);
  ASSERT_TRUE(Processes().GetExitCodeProcess(byId.get(), code)) << GetLastError();
  EXPECT_EQ(code, 7u);
  ASSERT_TRUE(Processes().GetExitCodeProcess(process.get(), code));
  EXPECT_EQ(code, 7u);
}

TEST_F(ProcessesContract, ExitCodesComeBackWhole) {
  for (const Dword expected : {0u, 1u, 1234u, 0xC0000005u}) {
    SCOPED_TRACE(expected);
    platform::ProcessInformation info;
    ASSERT_TRUE(Processes().CreateProcessW(
        machine->ExitCodeProgram(),
        Quoted(machine->ExitCodeProgram()) + " " + std::to_string(expected),
        platform::kSwShowNormal, info))
        << GetLastError();
    const UniqueKernelHandle process(info.hProcess);
    const UniqueKernelHandle thread(info.hThread);
    EXPECT_EQ(WaitForEnd(process.get()), platform::kWaitObject0);
    Dword code = 0;
    ASSERT_TRUE(Processes().GetExitCodeProcess(process.get(), code)) << GetLastError();
    EXPECT_EQ(code, expected);
  }
}

TEST_F(ProcessesContract, MissingProgramIsNotStarted) {
  const struct {
    const char* name;
    std::string application;
    std::string commandLine;
  } rows[] = {
      {"application name", machine->Scratch() + "\\no_such_program.exe",
       Quoted(machine->Scratch() + "\\no_such_program.exe") + " 1"},
      // The application name is that file: the command line's program is not looked for.
      {"application name, other command line", machine->Scratch() + "\\no_such_program.exe",
       Quoted(machine->ExitCodeProgram()) + " 1"},
      {"full path, no application name", "",
       Quoted(machine->Scratch() + "\\no_such_program.exe") + " 1"},
      {"bare name, no application name", "", "orvo_contract_no_such_program 1"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    platform::ProcessInformation info;
    platform::SetLastError(0);
    EXPECT_FALSE(
        Processes().CreateProcessW(row.application, row.commandLine, platform::kSwHide, info));
    EXPECT_EQ(GetLastError(), platform::kErrorFileNotFound);
    EXPECT_EQ(info.hProcess, Handle{0});
  }
}

TEST_F(ProcessesContract, ShellExecuteHandsBackTheProcessAndItsExitCode) {
  platform::ShellExecuteInfo info;
  info.fMask = platform::kSeeMaskNoCloseProcess;
  info.lpVerb = "open";
  info.lpFile = machine->ExitCodeProgram();
  info.lpParameters = "42";
  info.nShow = platform::kSwHide;
  ASSERT_TRUE(Processes().ShellExecuteExW(info)) << GetLastError() << " " << info.hInstApp;
  const UniqueKernelHandle process(info.hProcess);
  EXPECT_GT(info.hInstApp, 32u);
  ASSERT_TRUE(process);
  EXPECT_EQ(WaitForEnd(process.get()), platform::kWaitObject0);
  Dword code = 0;
  ASSERT_TRUE(Processes().GetExitCodeProcess(process.get(), code)) << GetLastError();
  EXPECT_EQ(code, 42u);
}

TEST_F(ProcessesContract, ShellExecuteOfAMissingPathFailsWithFileNotFound) {
  platform::ShellExecuteInfo info;
  info.fMask = platform::kSeeMaskNoCloseProcess | kSeeMaskFlagNoUi;
  info.lpVerb = "open";
  info.lpFile = machine->Scratch() + "\\no_such_program.exe";
  info.nShow = platform::kSwHide;
  EXPECT_FALSE(Processes().ShellExecuteExW(info));
  EXPECT_EQ(info.hInstApp, 2u);  // SE_ERR_FNF
  EXPECT_EQ(info.hProcess, Handle{0});
}

}  // namespace
}  // namespace orvo::contract
