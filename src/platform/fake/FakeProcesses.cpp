// The fake machine's programs: where a name is found, what a start records and does, how long
// a process runs on the machine's clock, and the handles that refer to it.
#include <algorithm>

#include "platform/fake/FakeMachine.h"

namespace orvo::fake {
namespace {

using namespace platform;

constexpr std::uintptr_t kShellExecuteSuccess = 42;  // any value above 32

// Whether the last name of a path has an extension.
bool HasExtension(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  const auto dot = path.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

// The program a command line starts (no application name): the quoted first token, or the
// shortest run of its space-separated words that names an existing program.
std::vector<std::string> ProgramCandidates(const std::string& commandLine) {
  if (commandLine.rfind('"', 0) == 0) {
    const auto close = commandLine.find('"', 1);
    return {commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1)};
  }
  std::vector<std::string> candidates;
  for (std::size_t space = commandLine.find(' '); space != std::string::npos;
       space = commandLine.find(' ', space + 1)) {
    candidates.push_back(commandLine.substr(0, space));
  }
  candidates.push_back(commandLine);
  return candidates;
}

}  // namespace

void FakeMachine::InstallProgram(const std::string& nativePath, ProgramEffect effect,
                                 Dword exitCode, Dword runMs) {
  programs_[Key(nativePath)] = Program{std::move(effect), exitCode, runMs};
}

std::size_t FakeMachine::OpenProcessHandleCount() const noexcept { return kernelHandles_.size(); }

// A full or relative path is taken as it stands (".exe" added to a name without extension);
// a bare name is looked for in the program's folder, the current folder, the system folder as
// the program sees it and the Windows folder, in that order.
std::optional<std::string> FakeMachine::FindProgram(const std::string& name) const {
  const auto existingFile = [this](const std::string& path) -> std::optional<std::string> {
    for (const std::string& candidate : HasExtension(path)
                                            ? std::vector<std::string>{path}
                                            : std::vector<std::string>{path, path + ".exe"}) {
      const auto key = Resolve(candidate);
      if (!key) continue;
      const auto it = files_.find(*key);
      if (it != files_.end() && (it->second.attributes & kFileAttributeDirectory) == 0) return key;
    }
    return std::nullopt;
  };
  if (name.empty()) return std::nullopt;
  if (name.find_first_of("\\/:") != std::string::npos) return existingFile(name);
  const std::string programFolder = modulePath.substr(0, modulePath.find_last_of('\\'));
  for (const std::string& folder :
       {programFolder, currentFolder, windowsFolder + "\\system32", windowsFolder}) {
    if (auto found = existingFile(folder + "\\" + name)) return found;
  }
  return std::nullopt;
}

// Runs what the program does and notes when it ends; answers its process id.
Dword FakeMachine::StartProgram(StartedProgram& record) {
  record.processId = nextProcessId_;
  nextProcessId_ += 4;
  started.push_back(record);
  Process process;
  process.endTick = tickCount;
  const auto it = programs_.find(record.resolvedPath);
  if (it != programs_.end()) {
    // The effect may install programs, so it runs on a copy.
    const Program program = it->second;
    process.exitCode = program.effect ? program.effect(*this, record) : program.exitCode;
    process.endTick = tickCount + program.runMs;
  }
  processes_[record.processId] = process;
  return record.processId;
}

bool FakeMachine::ShellExecuteExW(ShellExecuteInfo& info) {
  calls.push_back("ShellExecuteExW(" + info.lpFile + ", " + info.lpParameters + ")");
  info.hProcess = 0;
  if (Faulted("ShellExecuteExW", info.lpFile)) {
    info.hInstApp = std::min<Dword>(GetLastError(), 32);
    return false;
  }
  const std::optional<std::string> path = FindProgram(info.lpFile);
  if (!path) {
    info.hInstApp = kErrorFileNotFound;  // SE_ERR_FNF
    SetLastError(kErrorFileNotFound);
    return false;
  }
  info.hInstApp = kShellExecuteSuccess;
  // A document handed to a program that is already running starts no process.
  for (const std::string& document : documentsOpenedByRunningProgram) {
    if (Key(document) == *path) return true;
  }
  StartedProgram record;
  record.via = "ShellExecuteExW";
  record.file = info.lpFile;
  record.parameters = info.lpParameters;
  record.directory = info.lpDirectory;
  record.show = static_cast<Dword>(info.nShow);
  record.resolvedPath = *path;
  const Dword processId = StartProgram(record);
  if ((info.fMask & kSeeMaskNoCloseProcess) != 0) {
    info.hProcess = NewHandle();
    kernelHandles_[info.hProcess] = KernelHandle{processId, false};
  }
  return true;
}

bool FakeMachine::CreateProcessW(const std::string& applicationName, const std::string& commandLine,
                                 Dword showWindow, ProcessInformation& info) {
  calls.push_back("CreateProcessW(" + (applicationName.empty() ? "" : applicationName + ", ") +
                  commandLine + ")");
  info = ProcessInformation{};
  if (Faulted("CreateProcessW", commandLine)) return false;
  std::optional<std::string> path;
  if (!applicationName.empty()) {
    path = FindProgram(applicationName);  // that file and no other
  } else {
    for (const std::string& candidate : ProgramCandidates(commandLine)) {
      path = FindProgram(candidate);
      if (path) break;
    }
  }
  if (!path) {
    SetLastError(kErrorFileNotFound);
    return false;
  }
  StartedProgram record;
  record.via = "CreateProcessW";
  record.commandLine = commandLine;
  record.application = applicationName;
  record.show = showWindow;
  record.resolvedPath = *path;
  info.dwProcessId = StartProgram(record);
  info.dwThreadId = info.dwProcessId + 1;
  info.hProcess = NewHandle();
  kernelHandles_[info.hProcess] = KernelHandle{info.dwProcessId, false};
  info.hThread = NewHandle();
  kernelHandles_[info.hThread] = KernelHandle{info.dwProcessId, true};
  return true;
}

Handle FakeMachine::OpenProcess(Dword, bool, Dword processId) {
  calls.push_back("OpenProcess(" + std::to_string(processId) + ")");
  if (Faulted("OpenProcess", std::to_string(processId))) return 0;
  if (processes_.count(processId) == 0) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  const Handle h = NewHandle();
  kernelHandles_[h] = KernelHandle{processId, false};
  return h;
}

const FakeMachine::Process* FakeMachine::FindProcess(Handle h, Dword& error) const {
  const auto it = kernelHandles_.find(h);
  if (it == kernelHandles_.end() || it->second.isThread) {
    error = kErrorInvalidHandle;
    return nullptr;
  }
  return &processes_.at(it->second.processId);
}

bool FakeMachine::GetExitCodeProcess(Handle process, Dword& exitCode) {
  Dword error = 0;
  const Process* p = FindProcess(process, error);
  if (p == nullptr) {
    SetLastError(error);
    return false;
  }
  exitCode = tickCount >= p->endTick ? p->exitCode : kStillActive;
  return true;
}

// The clock moves on while the code waits: to the process's end when that comes first, else
// by the whole time-out.
Dword FakeMachine::MsgWaitForMultipleObjects(Handle process, Dword milliseconds) {
  if (Faulted("MsgWaitForMultipleObjects", "")) return kWaitFailed;
  Dword error = 0;
  const Process* p = FindProcess(process, error);
  if (p == nullptr) {
    SetLastError(error);
    return kWaitFailed;
  }
  if (tickCount >= p->endTick) return kWaitObject0;
  if (pendingMessages > 0) return kWaitObject0 + 1;
  const Dword remaining = p->endTick - tickCount;
  if (milliseconds == kInfinite || milliseconds >= remaining) {
    tickCount = p->endTick;
    return kWaitObject0;
  }
  tickCount += milliseconds;
  return kWaitTimeout;
}

void FakeMachine::PumpMessages() {
  ++pumpedMessages;
  pendingMessages = 0;
}

Dword FakeMachine::GetTickCount() { return tickCount; }

bool FakeMachine::CloseHandle(Handle h) {
  if (kernelHandles_.erase(h) == 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return true;
}

}  // namespace orvo::fake
