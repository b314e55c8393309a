// Contract of the process calls the system relies on: starting a program both ways, waiting for
// it while window messages may arrive, reading its exit code; finding a running process in a
// snapshot and ending it.
#include <gtest/gtest.h>

#include <vector>

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

// The termination cases run a program under a name of their own; its letter case is kept.
constexpr const char* kSleeperName = "OrvoContractSleeper.exe";

struct SnapshotEntries {
  std::vector<platform::ProcessEntry> entries;
  Dword endError = 0;  // the last error after the last entry
};

SnapshotEntries TakeSnapshot() {
  SnapshotEntries result;
  const UniqueKernelHandle snapshot(
      Processes().CreateToolhelp32Snapshot(platform::kTh32csSnapProcess, 0));
  if (!snapshot) {
    ADD_FAILURE() << "CreateToolhelp32Snapshot failed with " << GetLastError();
    return result;
  }
  platform::ProcessEntry entry;
  for (bool more = Processes().Process32FirstW(snapshot.get(), entry); more;
       more = Processes().Process32NextW(snapshot.get(), entry)) {
    result.entries.push_back(entry);
  }
  result.endError = GetLastError();
  return result;
}

TEST_F(ProcessesContract, SnapshotListsARunningProcessByItsExeNameAndEndsWithNoMoreFiles) {
  const Dword id = machine->AddRunningProcess(kSleeperName);
  const SnapshotEntries snapshot = TakeSnapshot();
  EXPECT_EQ(snapshot.endError, platform::kErrorNoMoreFiles);
  int found = 0;
  for (const platform::ProcessEntry& entry : snapshot.entries) {
    if (entry.th32ProcessID != id) continue;
    ++found;
    // The file's name alone, as it is spelt on disk.
    EXPECT_EQ(entry.szExeFile, kSleeperName);
  }
  EXPECT_EQ(found, 1);
}

TEST_F(ProcessesContract, TerminateEndsTheProcessWithTheCode) {
  const Dword id = machine->AddRunningProcess(kSleeperName);
  // The code's own handle has only the terminate right; a second one reads the outcome.
  const UniqueKernelHandle watch(
      Processes().OpenProcess(platform::kProcessQueryInformation | kSynchronize, false, id));
  ASSERT_TRUE(watch) << GetLastError();
  {
    const UniqueKernelHandle process(
        Processes().OpenProcess(platform::kProcessTerminate, false, id));
    ASSERT_TRUE(process) << GetLastError();
    ASSERT_TRUE(Processes().TerminateProcess(process.get(), 77)) << GetLastError();
  }
  EXPECT_TRUE(machine->ProcessEndsSoon(id));
  EXPECT_EQ(WaitForEnd(watch.get()), platform::kWaitObject0);
  Dword code = 0;
  ASSERT_TRUE(Processes().GetExitCodeProcess(watch.get(), code)) << GetLastError();
  EXPECT_EQ(code, 77u);
}

TEST_F(ProcessesContract, TerminateNeedsTheTerminateRight) {
  const Dword id = machine->AddRunningProcess(kSleeperName);
  const UniqueKernelHandle process(
      Processes().OpenProcess(platform::kProcessQueryInformation, false, id));
  ASSERT_TRUE(process) << GetLastError();
  platform::SetLastError(0);
  EXPECT_FALSE(Processes().TerminateProcess(process.get(), 77));
  EXPECT_EQ(GetLastError(), platform::kErrorAccessDenied);
  EXPECT_TRUE(machine->ProcessRunning(id));
}

TEST_F(ProcessesContract, NoProcessHasAnIdThatWasNeverHandedOut) {
  for (const Dword id : {0u, 0x7FFFFFF8u}) {
    SCOPED_TRACE(id);
    platform::SetLastError(0);
    EXPECT_EQ(Processes().OpenProcess(platform::kProcessTerminate, false, id), Handle{0});
    EXPECT_EQ(GetLastError(), platform::kErrorInvalidParameter);
  }
}

}  // namespace
}  // namespace orvo::contract
