// The in-memory Windows machine.
#include "platform/fake/FakeMachine.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace orvo::fake {
namespace {

using namespace platform;

constexpr Dword kServiceStop = 0x0020;
constexpr Dword kDelete = 0x10000;
constexpr Dword kErrorInvalidServiceControl = 1052;
constexpr Dword kErrorInvalidFunction = 1;

// The buttons of a box style, in order; the default-button bits pick one of them.
std::vector<int> Buttons(Dword type) {
  switch (type & 0xF) {
    case 0x1:
      return {kIdOk, kIdCancel};
    case kMbYesNoCancel:
      return {kIdYes, kIdNo, kIdCancel};
    case kMbYesNo:
      return {kIdYes, kIdNo};
    default:
      return {kIdOk};
  }
}

}  // namespace

std::string Leaf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const noexcept {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) <
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::string Hex(Dword v) {
  std::ostringstream out;
  out << "0x" << std::hex << v;
  return out.str();
}

FakeMachine::FakeMachine() {
  env_ = {{"SystemRoot", "C:\\windows"},
          {"windir", "C:\\windows"},
          {"SystemDrive", "C:"},
          {"TEMP", "C:\\users\\root\\Temp"},
          {"TMP", "C:\\users\\root\\Temp"},
          {"USERNAME", "root"},
          {"COMPUTERNAME", "VM"},
          {"OS", "Windows_NT"},
          {"ProgramFiles", "C:\\Program Files (x86)"},
          {"ProgramFiles(x86)", "C:\\Program Files (x86)"},
          {"ProgramW6432", "C:\\Program Files"}};
  SetVersion(10, 0, 19045);
  for (const char* dir :
       {"C:\\windows\\system32", "C:\\windows\\syswow64", "C:\\Tools", "C:\\users\\root\\Temp",
        "C:\\Program Files", "C:\\Program Files (x86)"}) {
    AddDir(dir);
  }
  AddFile(modulePath);
  messageTexts = {
      {kErrorSuccess, "The operation completed successfully."},
      {kErrorInvalidFunction, "Incorrect function."},
      {kErrorFileNotFound, "The system cannot find the file specified."},
      {kErrorPathNotFound, "The system cannot find the path specified."},
      {kErrorAccessDenied, "Access is denied."},
      {kErrorInvalidHandle, "The handle is invalid."},
      {kErrorNotEnoughMemory, "Not enough memory resources are available to process this command."},
      {kErrorSharingViolation,
       "The process cannot access the file because it is being used by another process."},
      {kErrorInvalidParameter, "The parameter is incorrect."},
      {kErrorInsufficientBuffer, "The data area passed to a system call is too small."},
      {kErrorInvalidName, "The filename, directory name, or volume label syntax is incorrect."},
      {kErrorInvalidServiceControl, "The requested control is not valid for this service."},
      {kErrorServiceDoesNotExist, "The specified service does not exist as an installed service."},
      {kErrorServiceNotActive, "The service has not been started."},
      {kErrorServiceMarkedForDelete, "The specified service has been marked for deletion."},
  };
  InitRegistry();
  for (const char* name : {"SeDebugPrivilege", "SeRestorePrivilege", "SeTakeOwnershipPrivilege",
                           "SeBackupPrivilege"}) {
    privileges[name] = false;
  }
  previous_ = Install(Platform{this, this, this, this, this, this, this, this, this, this});
}

FakeMachine::~FakeMachine() { Install(previous_); }

bool FakeMachine::Faulted(const std::string& call, const std::string& target) {
  for (Fault& f : faults_) {
    if (f.call != call || (!f.target.empty() && Lower(f.target) != Lower(target))) continue;
    ++f.seen;
    if (f.nth == 0 || f.nth == f.seen) {
      SetLastError(f.code);
      return true;
    }
  }
  return false;
}

// Handles of every kind come from one counter, so none is ever taken for another.
Handle FakeMachine::NewHandle() {
  const Handle h = nextHandle_;
  nextHandle_ += 4;
  return h;
}

void FakeMachine::FailCall(const std::string& call, const std::string& target, Dword code,
                           int nth) {
  faults_.push_back(Fault{call, target, code, nth});
}

// --- Debug output and environment.

void FakeMachine::OutputDebugStringW(const std::string& text) { debugLines.push_back(text); }

void FakeMachine::SetEnv(const std::string& name, const std::string& value) { env_[name] = value; }
void FakeMachine::UnsetEnv(const std::string& name) { env_.erase(name); }

std::optional<std::string> FakeMachine::GetEnvironmentVariableW(const std::string& name) {
  if (Faulted("GetEnvironmentVariableW", name)) return std::nullopt;
  const auto it = env_.find(name);
  if (it == env_.end()) {
    SetLastError(203);  // ERROR_ENVVAR_NOT_FOUND
    return std::nullopt;
  }
  return it->second;
}

std::string FakeMachine::GetSystemWindowsDirectoryW() {
  if (Faulted("GetSystemWindowsDirectoryW", "")) return {};
  return windowsFolder;
}

std::string FakeMachine::GetSystemDirectoryW() {
  if (Faulted("GetSystemDirectoryW", "")) return {};
  return windowsFolder + "\\system32";
}

std::string FakeMachine::GetModuleFileNameW() {
  if (Faulted("GetModuleFileNameW", "")) return {};
  return modulePath;
}

std::string FakeMachine::FormatMessageW(Dword code) {
  const auto it = messageTexts.find(code);
  if (it == messageTexts.end()) {
    SetLastError(317);  // ERROR_MR_MID_NOT_FOUND: no text for this number
    return {};
  }
  return it->second;
}

// --- Version.

void FakeMachine::SetVersion(Dword major, Dword minor, Dword build, std::uint8_t productType,
                             Dword platformId) {
  versionRecord = OsVersionInfoEx{};
  versionRecord.dwMajorVersion = major;
  versionRecord.dwMinorVersion = minor;
  versionRecord.dwBuildNumber = build;
  versionRecord.dwPlatformId = platformId;
  versionRecord.wProductType = productType;
}

bool FakeMachine::GetVersionExA(OsVersionInfoEx& info) {
  ++versionCalls;
  calls.push_back("GetVersionExA(" + std::to_string(info.dwOSVersionInfoSize) + ")");
  if (Faulted("GetVersionExA", std::to_string(info.dwOSVersionInfoSize))) return false;
  const Dword size = info.dwOSVersionInfoSize;
  if ((size != kOsVersionInfoExSize && size != kOsVersionInfoSize) ||
      (size == kOsVersionInfoExSize && refuseExtendedVersion)) {
    SetLastError(kErrorInsufficientBuffer);
    return false;
  }
  const OsVersionInfoEx keep = info;
  info = versionRecord;
  info.dwOSVersionInfoSize = size;
  if (size == kOsVersionInfoSize) {
    // The plain record has no service-pack numbers, suite mask or product type.
    info.wServicePackMajor = keep.wServicePackMajor;
    info.wServicePackMinor = keep.wServicePackMinor;
    info.wSuiteMask = keep.wSuiteMask;
    info.wProductType = keep.wProductType;
  }
  return true;
}

int FakeMachine::GetSystemMetrics(int index) { return index == kSmCleanBoot ? cleanBoot : 0; }

// --- Files.

std::string FakeMachine::Key(const std::string& nativePath) {
  std::string key = Lower(nativePath);
  std::replace(key.begin(), key.end(), '/', '\\');
  while (key.size() > 3 && key.back() == '\\') key.pop_back();
  return key;
}

std::string FakeMachine::Parent(const std::string& key) {
  const auto slash = key.find_last_of('\\');
  if (slash == std::string::npos) return {};
  if (slash == 2 && key[1] == ':') return key.size() > 3 ? key.substr(0, 3) : std::string();
  return key.substr(0, slash);
}

std::optional<std::string> FakeMachine::Resolve(const std::string& path) const {
  std::string p = path;
  if (p.rfind("\\\\?\\", 0) == 0) p = p.substr(4);
  if (p.empty()) {
    SetLastError(kErrorPathNotFound);
    return std::nullopt;
  }
  if (p.size() >= 2 && p[1] == ':') {
    if (p.size() == 2) p = currentFolder;  // "C:" is the current folder of that drive
  } else if (p.rfind("\\\\", 0) != 0) {
    p = p[0] == '\\' ? currentFolder.substr(0, 2) + p : currentFolder + "\\" + p;
  }
  const std::string afterRoot = p.size() > 2 ? p.substr(2) : std::string();
  // A colon after the root names a stream, not a bad name.
  if (afterRoot.find_first_of("<>\"|?*") != std::string::npos) {
    SetLastError(kErrorInvalidName);
    return std::nullopt;
  }
  std::string key = Key(p);
  // WOW64: a 32-bit program's system32 is syswow64; "sysnative" reaches the real one.
  if (is64BitWindows && wow64Process && !redirectionDisabled) {
    const std::string win = Key(windowsFolder);
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"\\system32", "\\syswow64"},
                                   {"\\sysnative", "\\system32"}}) {
      const std::string prefix = win + from;
      if (key == prefix || key.rfind(prefix + "\\", 0) == 0) {
        key = win + to + key.substr(prefix.size());
        break;
      }
    }
  }
  return ThroughLinks(key, false);
}

std::string FakeMachine::ThroughLinks(std::string key, bool followFinal) const {
  for (int hop = 0; hop < 32; ++hop) {
    bool moved = false;
    for (std::size_t at = key.find('\\', 3);; at = key.find('\\', at + 1)) {
      const bool last = at == std::string::npos;
      if (last && !followFinal) break;
      const auto it = files_.find(last ? key : key.substr(0, at));
      if (it != files_.end() && !it->second->linkTarget.empty()) {
        key = it->second->linkTarget + (last ? std::string() : key.substr(at));
        moved = true;
        break;
      }
      if (last) break;
    }
    if (!moved) break;
  }
  return key;
}

void FakeMachine::AddDir(const std::string& path, Dword attributes) {
  const std::string key = Key(path);
  const std::string parent = Parent(key);
  if (!parent.empty() && parent != key && !files_.count(parent)) AddDir(parent);
  auto folder = std::make_shared<FakeFile>();
  folder->attributes = attributes | kFileAttributeDirectory;
  files_[key] = std::move(folder);
  names_[key] = Leaf(path);
}

void FakeMachine::AddFile(const std::string& path, Dword attributes, const std::string& content) {
  const std::string key = Key(path);
  const std::string parent = Parent(key);
  if (!parent.empty() && !files_.count(parent)) AddDir(parent);
  auto file = std::make_shared<FakeFile>();
  file->attributes = attributes & ~kFileAttributeDirectory;
  file->content = content;
  files_[key] = std::move(file);
  names_[key] = Leaf(path);
}

void FakeMachine::SignFile(const std::string& path, const std::string& organization) {
  FindFile(path)->signer = organization;
}

// A file is trusted only when a test gave it a signer; every other file (planted doubles
// included) answers as an unsigned file does.
std::int32_t FakeMachine::WinVerifyTrust(const std::string& file, std::string& signerOrganization) {
  calls.push_back("WinVerifyTrust(" + file + ")");
  signerOrganization.clear();
  if (Faulted("WinVerifyTrust", file)) return platform::kTrustEBadDigest;
  const auto key = Resolve(file);
  const auto it = key ? files_.find(*key) : files_.end();
  if (it == files_.end() || it->second->signer.empty()) return platform::kTrustENoSignature;
  signerOrganization = it->second->signer;
  return platform::kTrustSuccess;
}

bool FakeMachine::Exists(const std::string& path) const { return files_.count(Key(path)) != 0; }

FakeFile* FakeMachine::FindFile(const std::string& path) {
  const auto it = files_.find(Key(path));
  return it == files_.end() ? nullptr : it->second.get();
}

Dword FakeMachine::GetFileAttributesW(const std::string& path) {
  calls.push_back("GetFileAttributesW(" + path + ")");
  if (Faulted("GetFileAttributesW", path)) return kInvalidFileAttributes;
  const auto key = Resolve(path);
  if (!key) return kInvalidFileAttributes;
  if (key->size() == 3 && (*key)[1] == ':') return kFileAttributeDirectory;  // a drive root
  const auto it = files_.find(*key);
  const bool trailingSlash = !path.empty() && (path.back() == '\\' || path.back() == '/');
  if (it == files_.end()) {
    // Not found: 2 when the folder it would be in exists, 3 when that folder is
    // missing or is a file.
    const std::string parent = Parent(*key);
    const auto p = files_.find(parent);
    const bool parentIsFolder =
        parent.empty() || parent.size() == 3 ||
        (p != files_.end() && (p->second->attributes & kFileAttributeDirectory) != 0);
    SetLastError(parentIsFolder ? kErrorFileNotFound : kErrorPathNotFound);
    return kInvalidFileAttributes;
  }
  if (trailingSlash && (it->second->attributes & kFileAttributeDirectory) == 0) {
    SetLastError(kErrorPathNotFound);  // "file\" names a folder that is not there
    return kInvalidFileAttributes;
  }
  return it->second->attributes;
}

bool FakeMachine::DeleteFileW(const std::string& path) {
  calls.push_back("DeleteFileW(" + path + ")");
  if (Faulted("DeleteFileW", path)) return false;
  const auto key = Resolve(path);
  if (!key) return false;
  const auto it = files_.find(*key);
  if (it == files_.end()) {
    SetLastError(files_.count(Parent(*key)) ? kErrorFileNotFound : kErrorPathNotFound);
    return false;
  }
  const FakeFile& f = *it->second;
  const auto parent = files_.find(Parent(*key));
  const bool parentAllows = parent == files_.end() || FileAllows(*parent->second, 0x0040, false);
  if ((f.attributes & (kFileAttributeDirectory | kFileAttributeReadonly)) != 0 || !elevated ||
      (!FileAllows(f, kDelete, false) && !parentAllows)) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  const bool heldOpen = std::any_of(fileHandles_.begin(), fileHandles_.end(), [&](const auto& h) {
    return h.second.key == *key && (h.second.share & kFileShareDelete) == 0;
  });
  if (f.locked || heldOpen) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  // A link goes as itself; a hard-linked file loses this name only.
  files_.erase(it);
  names_.erase(*key);
  return true;
}

bool FakeMachine::Wow64DisableWow64FsRedirection(Handle& oldValue) {
  calls.push_back("Wow64DisableWow64FsRedirection()");
  if (Faulted("Wow64DisableWow64FsRedirection", "")) return false;
  if (!(is64BitWindows && wow64Process)) {
    SetLastError(kErrorInvalidFunction);
    return false;
  }
  oldValue = redirectionDisabled ? 1 : 0;
  redirectionDisabled = true;
  return true;
}

bool FakeMachine::Wow64RevertWow64FsRedirection(Handle oldValue) {
  calls.push_back("Wow64RevertWow64FsRedirection()");
  if (Faulted("Wow64RevertWow64FsRedirection", "")) return false;
  if (!(is64BitWindows && wow64Process)) {
    SetLastError(kErrorInvalidFunction);
    return false;
  }
  redirectionDisabled = oldValue != 0;
  return true;
}

// --- Services.

void FakeMachine::AddService(const std::string& name, ServiceState state) {
  services_[name] = FakeService{};
  services_[name].state = state;
}

FakeService* FakeMachine::FindService(const std::string& name) {
  const auto it = services_.find(name);
  return it == services_.end() ? nullptr : &it->second;
}

bool FakeMachine::HasService(const std::string& name) const { return services_.count(name) != 0; }

FakeMachine::ServiceHandle* FakeMachine::FindHandle(Handle h, bool wantManager) {
  const auto it = handles_.find(h);
  if (it == handles_.end() || it->second.isManager != wantManager) {
    SetLastError(kErrorInvalidHandle);
    return nullptr;
  }
  return &it->second;
}

// A service marked for deletion goes once it has stopped and its last handle is closed.
void FakeMachine::RemoveIfDone(const std::string& serviceName) {
  const auto it = services_.find(serviceName);
  if (it != services_.end() && it->second.markedForDelete &&
      it->second.state == ServiceState::kStopped && it->second.openHandles == 0) {
    services_.erase(it);
  }
}

Handle FakeMachine::OpenSCManagerW(const std::optional<std::string>& machineName,
                                   const std::optional<std::string>& databaseName,
                                   Dword desiredAccess) {
  calls.push_back("OpenSCManagerW(" + machineName.value_or("null") + ", " +
                  databaseName.value_or("null") + ", " + Hex(desiredAccess) + ")");
  if (Faulted("OpenSCManagerW", "")) return 0;
  if (!elevated && (desiredAccess & ~(kScManagerConnect | 0x4 | 0x10)) != 0) {
    SetLastError(kErrorAccessDenied);
    return 0;
  }
  const Handle h = NewHandle();
  handles_[h] = ServiceHandle{true, {}, desiredAccess};
  return h;
}

Handle FakeMachine::OpenServiceW(Handle scManager, const std::string& serviceName,
                                 Dword desiredAccess) {
  calls.push_back("OpenServiceW(" + serviceName + ", " + Hex(desiredAccess) + ")");
  if (Faulted("OpenServiceW", serviceName)) return 0;
  if (FindHandle(scManager, true) == nullptr) return 0;
  FakeService* service = FindService(serviceName);
  if (service == nullptr) {
    SetLastError(kErrorServiceDoesNotExist);
    return 0;
  }
  // Without elevation a user may query a service but not stop, delete or change it.
  const Dword userRights = 0x0001 | 0x0004 | 0x0008 | 0x0080 | 0x00020000;
  if (!elevated && (desiredAccess & ~userRights) != 0) {
    SetLastError(kErrorAccessDenied);
    return 0;
  }
  const Handle h = NewHandle();
  handles_[h] = ServiceHandle{false, serviceName, desiredAccess};
  ++service->openHandles;
  return h;
}

bool FakeMachine::ControlService(Handle service, Dword control, ServiceStatus& status) {
  ServiceHandle* handle = FindHandle(service, false);
  calls.push_back("ControlService(" + (handle ? handle->service : std::string("?")) + ", " +
                  std::to_string(control) + ")");
  if (handle == nullptr) return false;
  if (Faulted("ControlService", handle->service)) return false;
  FakeService* s = FindService(handle->service);
  if (s == nullptr) {
    SetLastError(kErrorServiceDoesNotExist);
    return false;
  }
  if (control != kServiceControlStop) {
    SetLastError(kErrorInvalidServiceControl);
    return false;
  }
  if ((handle->access & kServiceStop) == 0) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  if (s->state == ServiceState::kStopped) {
    SetLastError(kErrorServiceNotActive);
    return false;
  }
  if (!s->acceptsStop) {
    SetLastError(platform::kErrorServiceCannotAcceptCtrl);
    return false;
  }
  s->state = s->stopsSlowly ? ServiceState::kStopPending : ServiceState::kStopped;
  status = ServiceStatus{};
  status.dwServiceType = 0x10;  // SERVICE_WIN32_OWN_PROCESS
  status.dwCurrentState = s->stopsSlowly ? kServiceStopPending : kServiceStopped;
  return true;
}

bool FakeMachine::DeleteService(Handle service) {
  ServiceHandle* handle = FindHandle(service, false);
  calls.push_back("DeleteService(" + (handle ? handle->service : std::string("?")) + ")");
  if (handle == nullptr) return false;
  if (Faulted("DeleteService", handle->service)) return false;
  FakeService* s = FindService(handle->service);
  if (s == nullptr) {
    SetLastError(kErrorServiceDoesNotExist);
    return false;
  }
  if ((handle->access & kDelete) == 0) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  if (s->markedForDelete) {
    SetLastError(kErrorServiceMarkedForDelete);
    return false;
  }
  s->markedForDelete = true;
  return true;
}

bool FakeMachine::ChangeServiceConfigW(Handle service) {
  ServiceHandle* handle = FindHandle(service, false);
  calls.push_back("ChangeServiceConfigW(" + (handle ? handle->service : std::string("?")) + ")");
  if (handle == nullptr) return false;
  if (Faulted("ChangeServiceConfigW", handle->service)) return false;
  const FakeService* s = FindService(handle->service);
  if (s == nullptr) {
    SetLastError(kErrorServiceDoesNotExist);
    return false;
  }
  if ((handle->access & kServiceChangeConfig) == 0) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  if (s->markedForDelete) {
    SetLastError(kErrorServiceMarkedForDelete);
    return false;
  }
  return true;
}

bool FakeMachine::CloseServiceHandle(Handle h) {
  const auto it = handles_.find(h);
  if (it == handles_.end()) {
    calls.push_back("CloseServiceHandle(?)");
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  const ServiceHandle closed = it->second;
  calls.push_back("CloseServiceHandle(" + (closed.isManager ? std::string("SCM") : closed.service) +
                  ")");
  handles_.erase(it);
  if (!closed.isManager) {
    if (FakeService* s = FindService(closed.service)) --s->openHandles;
    RemoveIfDone(closed.service);
  }
  return true;
}

// --- User interface.

void FakeMachine::ScriptAnswers(std::initializer_list<int> answers) {
  answers_.insert(answers_.end(), answers.begin(), answers.end());
}

int FakeMachine::MessageBoxW(Handle owner, const std::string& text, const std::string& caption,
                             Dword type) {
  calls.push_back("MessageBoxW(" + Hex(type) + ")");
  BoxRecord box{owner, text, caption, type, 0};
  const std::vector<int> buttons = Buttons(type);
  int answer = kPressReturn;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  if (answer == kFailBox || Faulted("MessageBoxW", "")) {
    if (answer == kFailBox) SetLastError(kErrorInvalidParameter);
    answer = 0;
  } else if (answer == kPressReturn) {
    const std::size_t index = (type >> 8) & 0xF;
    answer = index < buttons.size() ? buttons[index] : buttons.front();
  }
  box.answer = answer;
  boxes.push_back(box);
  return answer;
}

Handle FakeMachine::GetDesktopWindow() { return 0x10010; }

}  // namespace orvo::fake
