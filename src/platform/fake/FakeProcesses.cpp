// The fake machine's programs: where a name is found, what a start records and does, how long
// a process runs on the machine's clock, and the handles that refer to it.
#include <algorithm>

#include "platform/fake/FakeMachine.h"

namespace orvo::fake {
namespace {

// The running program itself, as snapshots and WMI list it.
constexpr Dword kOwnProcessId = 0x400;

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
      if (it != files_.end() && (it->second->attributes & kFileAttributeDirectory) == 0) return key;
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
  process.exeName = Leaf(record.resolvedPath);
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
    kernelHandles_[info.hProcess] = KernelHandle{processId, false, kProcessAllAccess};
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
  kernelHandles_[info.hProcess] = KernelHandle{info.dwProcessId, false, kProcessAllAccess};
  info.hThread = NewHandle();
  kernelHandles_[info.hThread] = KernelHandle{info.dwProcessId, true, kProcessAllAccess};
  return true;
}

Handle FakeMachine::OpenProcess(Dword desiredAccess, bool, Dword processId) {
  calls.push_back("OpenProcess(" + std::to_string(processId) + ")");
  if (Faulted("OpenProcess", std::to_string(processId))) return 0;
  if (processes_.count(processId) == 0) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  const Handle h = NewHandle();
  kernelHandles_[h] = KernelHandle{processId, false, desiredAccess};
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
  if (const auto file = fileHandles_.find(h); file != fileHandles_.end()) {
    const FileHandle closed = file->second;
    fileHandles_.erase(file);
    if (closed.deleteOnClose && files_.count(closed.key) != 0) {
      files_.erase(closed.key);
      names_.erase(closed.key);
    }
    return true;
  }
  if (snapshots_.erase(h) != 0 || tokens_.erase(h) != 0) return true;
  if (kernelHandles_.erase(h) == 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return true;
}

// --- Running processes, snapshots and termination.

Dword FakeMachine::AddRunningProcess(const std::string& exeName) {
  const Dword id = nextProcessId_;
  nextProcessId_ += 4;
  Process process;
  process.exeName = exeName;
  process.endTick = 0xFFFFFFFF;
  processes_[id] = process;
  return id;
}

bool FakeMachine::Running(const Process& process) const {
  return !process.terminated && tickCount < process.endTick;
}

bool FakeMachine::ProcessRunning(Dword processId) const {
  const auto it = processes_.find(processId);
  return it != processes_.end() && Running(it->second);
}

bool FakeMachine::TerminateProcess(Handle process, Dword exitCode) {
  const auto it = kernelHandles_.find(process);
  if (it == kernelHandles_.end() || it->second.isThread) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  calls.push_back("TerminateProcess(" + std::to_string(it->second.processId) + ")");
  if (Faulted("TerminateProcess", std::to_string(it->second.processId))) return false;
  if ((it->second.access & kProcessTerminate) == 0) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  Process& target = processes_.at(it->second.processId);
  if (!Running(target)) {
    SetLastError(kErrorAccessDenied);  // as Windows answers for a process that has ended
    return false;
  }
  target.terminated = true;
  target.exitCode = exitCode;
  return true;
}

Handle FakeMachine::CreateToolhelp32Snapshot(Dword flags, Dword) {
  calls.push_back("CreateToolhelp32Snapshot()");
  if (Faulted("CreateToolhelp32Snapshot", "")) return 0;
  if ((flags & kTh32csSnapProcess) == 0) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  Snapshot snapshot;
  snapshot.entries.push_back(ProcessEntry{kOwnProcessId, Leaf(modulePath)});
  for (const auto& [id, process] : processes_) {
    if (Running(process)) snapshot.entries.push_back(ProcessEntry{id, process.exeName});
  }
  const Handle h = NewHandle();
  snapshots_[h] = std::move(snapshot);
  return h;
}

bool FakeMachine::Process32FirstW(Handle snapshot, ProcessEntry& entry) {
  const auto it = snapshots_.find(snapshot);
  if (it == snapshots_.end()) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  it->second.next = 0;
  return Process32NextW(snapshot, entry);
}

bool FakeMachine::Process32NextW(Handle snapshot, ProcessEntry& entry) {
  const auto it = snapshots_.find(snapshot);
  if (it == snapshots_.end()) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (it->second.next >= it->second.entries.size()) {
    SetLastError(kErrorNoMoreFiles);
    return false;
  }
  entry = it->second.entries[it->second.next++];
  return true;
}

// --- The token's privileges.

bool FakeMachine::PrivilegeOn(const std::string& name) const {
  const auto it = privileges.find(name);
  return it != privileges.end() && it->second;
}

bool FakeMachine::OpenProcessToken(Dword desiredAccess, Handle& token) {
  calls.push_back("OpenProcessToken()");
  if (Faulted("OpenProcessToken", "")) return false;
  token = NewHandle();
  tokens_[token] = (desiredAccess & kTokenAdjustPrivileges) != 0;
  return true;
}

namespace {
// The privileges Windows knows, by name; the identifier is the position.
const char* const kPrivilegeNames[] = {"SeCreateTokenPrivilege",   "SeBackupPrivilege",
                                       "SeRestorePrivilege",       "SeDebugPrivilege",
                                       "SeTakeOwnershipPrivilege", "SeShutdownPrivilege",
                                       "SeSecurityPrivilege",      "SeChangeNotifyPrivilege"};
constexpr Dword kErrorNoSuchPrivilege = 1313;
}  // namespace

bool FakeMachine::LookupPrivilegeValueW(const std::string& name, Luid& luid) {
  calls.push_back("LookupPrivilegeValueW(" + name + ")");
  if (Faulted("LookupPrivilegeValueW", name)) return false;
  for (std::size_t i = 0; i < std::size(kPrivilegeNames); ++i) {
    if (Lower(kPrivilegeNames[i]) == Lower(name)) {
      luid = i + 2;
      return true;
    }
  }
  SetLastError(kErrorNoSuchPrivilege);
  return false;
}

bool FakeMachine::AdjustTokenPrivileges(Handle token, Luid luid, bool enable) {
  if (tokens_.count(token) == 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (!tokens_.at(token)) {
    SetLastError(kErrorAccessDenied);  // the token was not opened to be adjusted
    return false;
  }
  const std::string name = luid >= 2 && luid - 2 < std::size(kPrivilegeNames)
                               ? kPrivilegeNames[luid - 2]
                               : std::string();
  calls.push_back(std::string("AdjustTokenPrivileges(") + name + (enable ? ", on)" : ", off)"));
  if (Faulted("AdjustTokenPrivileges", name)) return false;
  const auto it = privileges.find(name);
  if (it == privileges.end()) {
    SetLastError(kErrorNotAllAssigned);
    return true;
  }
  it->second = enable;
  SetLastError(kErrorSuccess);
  return true;
}

Dword FakeMachine::GetVersion() {
  const Dword word = (versionRecord.dwMajorVersion & 0xFF) |
                     ((versionRecord.dwMinorVersion & 0xFF) << 8) |
                     ((versionRecord.dwBuildNumber & 0x7FFF) << 16);
  return versionRecord.dwPlatformId == kVerPlatformWin32Nt ? word : word | 0x80000000;
}

// --- WMI: the running processes as Win32_Process objects.

namespace {
constexpr std::int32_t kWbemFailed = static_cast<std::int32_t>(0x80041001);
constexpr std::int32_t kWbemNotCapable = static_cast<std::int32_t>(0x8004102E);  // as Wine answers
constexpr const char* kProcessPathPrefix = "\\\\.\\root\\cimv2:Win32_Process.Handle=\"";
}  // namespace

std::int32_t FakeMachine::ExecQuery(const std::string& query, std::vector<WmiObject>& objects) {
  calls.push_back("ExecQuery(" + query + ")");
  objects.clear();
  if (!wmiAvailable) return kWbemFailed;
  if (Lower(query) != "select * from win32_process") return kWbemFailed;
  objects.push_back(
      WmiObject{Leaf(modulePath), kProcessPathPrefix + std::to_string(kOwnProcessId) + "\""});
  for (const auto& [id, process] : processes_) {
    if (!Running(process)) continue;
    objects.push_back(WmiObject{process.exeName, kProcessPathPrefix + std::to_string(id) + "\""});
  }
  return 0;
}

std::int32_t FakeMachine::Terminate(const WmiObject& object) {
  calls.push_back("Terminate(" + object.Name + ")");
  if (!wmiAvailable) return kWbemFailed;
  if (!wmiCanTerminate) return kWbemNotCapable;
  const std::string prefix = kProcessPathPrefix;
  if (object.Path.compare(0, prefix.size(), prefix) != 0) return kWbemFailed;
  const Dword id = static_cast<Dword>(std::stoul(object.Path.substr(prefix.size())));
  const auto it = processes_.find(id);
  if (it == processes_.end() || !Running(it->second)) return kWbemFailed;
  it->second.terminated = true;
  it->second.exitCode = 0;
  return 0;
}

}  // namespace orvo::fake
