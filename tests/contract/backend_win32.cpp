// The contract cases' machine under Wine: the win32 backend, with the state a case needs made
// by real Win32 calls and removed again when the case ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <thread>
#include <vector>

#include "backend.h"
#include "platform/win32/backend.h"
#include "platform/win32/support.h"
#include "platform/win32/windows_api.h"

namespace orvo::contract {
namespace {

using platform::win32::Narrow;
using platform::win32::Widen;
using platform::win32::Win32Path;

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

// The folder of this test program, where the do-nothing service program and the exit-code
// program are built.
std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path.substr(0, path.find_last_of(L'\\'));
}

// A native path as this 32-bit program must spell it: the real system32 is reached through
// "sysnative", since the program's own "system32" is redirected to syswow64.
std::wstring Reachable(const std::string& nativePath) {
  std::wstring path = Win32Path(nativePath);
  wchar_t windows[MAX_PATH] = {};
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring system32 = Lower(std::wstring(windows) + L"\\system32");
  const std::wstring lower = Lower(path);
  if (lower.rfind(system32, 0) == 0 &&
      (lower.size() == system32.size() || lower[system32.size()] == L'\\')) {
    path = std::wstring(windows) + L"\\sysnative" + path.substr(system32.size());
  }
  return path;
}

std::string LastErrorText(const char* call, const std::string& target) {
  return std::string(call) + "(" + target + ") failed with " + std::to_string(::GetLastError());
}

std::string CodeText(const char* call, const std::string& target, LSTATUS status) {
  return std::string(call) + "(" + target + ") failed with " + std::to_string(status);
}

// How long a service may take to reach the state a case waits for (running, gone) before the
// case fails. The waits poll a condition; this only bounds a failure, so it is generous: the
// emulated machine runs Wine about 8 times slower than natively.
constexpr std::chrono::seconds kStateDeadline{300};
constexpr DWORD kStateDeadlineMs = 300 * 1000;

// Seeded keys are reached natively: the 64-bit view, where Wow6432Node is an ordinary key.
constexpr REGSAM kNativeView = KEY_WOW64_64KEY;

// A native key path split into its root and the rest ("HKLM\\Software\\X").
struct KeyPath {
  HKEY root = nullptr;
  std::wstring rest;
};

KeyPath SplitKeyPath(const std::string& path) {
  const std::size_t slash = path.find('\\');
  const std::string root = path.substr(0, slash);
  KeyPath split;
  split.rest = slash == std::string::npos ? std::wstring() : Widen(path.substr(slash + 1));
  if (root == "HKLM") split.root = HKEY_LOCAL_MACHINE;
  if (root == "HKCU") split.root = HKEY_CURRENT_USER;
  if (split.root == nullptr) ADD_FAILURE() << "unknown root in " << path;
  return split;
}

// A DACL (with its SIDs) built by plain Win32 calls, apart from the backend under test.
class SeedAcl {
 public:
  explicit SeedAcl(const platform::Acl& value) {
    DWORD size = sizeof(ACL);
    for (const platform::Ace& ace : value.aces) {
      PSID sid = nullptr;
      if (!::ConvertStringSidToSidW(Widen(ace.sid.text).c_str(), &sid)) {
        ADD_FAILURE() << LastErrorText("ConvertStringSidToSidW", ace.sid.text);
        return;
      }
      sids_.push_back(sid);
      size += static_cast<DWORD>(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + ::GetLengthSid(sid);
    }
    storage_.assign(size / sizeof(DWORD) + 1, 0);
    if (!::InitializeAcl(get(), size, ACL_REVISION)) {
      ADD_FAILURE() << LastErrorText("InitializeAcl", "");
      return;
    }
    for (std::size_t i = 0; i < value.aces.size(); ++i) {
      const platform::Ace& ace = value.aces[i];
      const BOOL added =
          ace.type == platform::kAccessDeniedAceType
              ? ::AddAccessDeniedAceEx(get(), ACL_REVISION, ace.flags, ace.mask, sids_[i])
              : ::AddAccessAllowedAceEx(get(), ACL_REVISION, ace.flags, ace.mask, sids_[i]);
      if (!added) ADD_FAILURE() << LastErrorText("AddAccess*AceEx", ace.sid.text);
    }
  }
  ~SeedAcl() {
    for (PSID sid : sids_) ::LocalFree(sid);
  }
  SeedAcl(const SeedAcl&) = delete;
  SeedAcl& operator=(const SeedAcl&) = delete;

  PACL get() { return reinterpret_cast<PACL>(storage_.data()); }

 private:
  std::vector<PSID> sids_;
  std::vector<DWORD> storage_;
};

// Removes a folder with everything in it, clearing attributes that would refuse it. A folder
// link is removed as itself, never descended into.
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        if (!::RemoveDirectoryW(path.c_str())) ::DeleteFileW(path.c_str());
      } else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveTree(path);
      } else {
        ::DeleteFileW(path.c_str());
      }
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(folder.c_str());
}

// Removes a key with its subtree, opening each key to everyone first: a case may have left it
// with an empty DACL or with DELETE denied. A key that is already gone is fine.
void RemoveKeyTree(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC | kNativeView, &key) == ERROR_SUCCESS) {
    SECURITY_DESCRIPTOR open{};
    ::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
    ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &open);
    ::RegCloseKey(key);
  }
  std::vector<std::wstring> children;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | kNativeView, &key) == ERROR_SUCCESS) {
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
      DWORD length = 256;
      if (::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      children.emplace_back(name, length);
    }
    ::RegCloseKey(key);
  }
  for (const std::wstring& child : children) RemoveKeyTree(root, path + L"\\" + child);
  const LSTATUS status = ::RegDeleteKeyExW(root, path.c_str(), kNativeView, 0);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    ADD_FAILURE() << CodeText("RegDeleteKeyExW", Narrow(path), status);
  }
}

class Win32Machine final : public Machine {
 public:
  Win32Machine() : previous_(platform::Install(platform::win32::Backend())) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    static int cases = 0;
    scratch_ = Narrow(temp) + "orvo-contract-" + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(++cases);
    AddDir(scratch_);
  }

  ~Win32Machine() override {
    if (hold_ != nullptr) {
      ::SetEvent(hold_);  // a held program must not outlive its case
      ::CloseHandle(hold_);
    }
    for (auto it = keys_.rbegin(); it != keys_.rend(); ++it) RemoveKeyTree(it->root, it->rest);
    for (HANDLE lock : locks_) ::CloseHandle(lock);
    for (const auto& [id, process] : processes_) {
      ::TerminateProcess(process, 1);
      ::WaitForSingleObject(process, kStateDeadlineMs);
      ::CloseHandle(process);
    }
    for (auto it = services_.rbegin(); it != services_.rend(); ++it) RemoveService(*it);
    if (manager_ != nullptr) ::CloseServiceHandle(manager_);
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
      if (it->folder) {
        ::RemoveDirectoryW(it->path.c_str());
      } else {
        ::SetFileAttributesW(it->path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(it->path.c_str());
      }
    }
    // What the cases made through the seam (folders, links, long paths) goes with the scratch,
    // named in the long form so that paths past MAX_PATH below it are reached too.
    RemoveTree(L"\\\\?\\" + Reachable(scratch_));
    for (auto it = env_.rbegin(); it != env_.rend(); ++it) {
      ::SetEnvironmentVariableW(it->name.c_str(), it->wasSet ? it->value.c_str() : nullptr);
    }
    platform::Install(previous_);
  }

  std::string Scratch() const override { return scratch_; }
  std::string ProgramName() const override { return "contract_tests.exe"; }
  bool IsFake() const override { return false; }

  void AddDir(const std::string& path) override {
    // Every folder from the root down, so that missing parents are made (and removed) too.
    for (std::size_t at = path.find('\\', 3);; at = path.find('\\', at + 1)) {
      const std::string folder = path.substr(0, at);
      const std::wstring reachable = Reachable(folder);
      if (::CreateDirectoryW(reachable.c_str(), nullptr)) {
        made_.push_back({reachable, true});
      } else if (::GetLastError() != ERROR_ALREADY_EXISTS) {
        ADD_FAILURE() << LastErrorText("CreateDirectoryW", folder);
        return;
      }
      if (at == std::string::npos) return;
    }
  }

  void AddFile(const std::string& path, Dword attributes, const std::string& content) override {
    AddDir(path.substr(0, path.find_last_of('\\')));
    const std::wstring reachable = Reachable(path);
    HANDLE file = ::CreateFileW(reachable.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      ADD_FAILURE() << LastErrorText("CreateFileW", path);
      return;
    }
    made_.push_back({reachable, false});
    DWORD written = 0;
    if (!content.empty() &&
        !::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr)) {
      ADD_FAILURE() << LastErrorText("WriteFile", path);
    }
    ::CloseHandle(file);
    if (!::SetFileAttributesW(reachable.c_str(), attributes)) {
      ADD_FAILURE() << LastErrorText("SetFileAttributesW", path);
    }
  }

  void LockFile(const std::string& path) override {
    HANDLE file = ::CreateFileW(Reachable(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      ADD_FAILURE() << LastErrorText("CreateFileW", path);
      return;
    }
    locks_.push_back(file);
  }

  void AddHardLink(const std::string& path, const std::string& existing) override {
    const std::wstring reachable = Reachable(path);
    if (!::CreateHardLinkW(reachable.c_str(), Reachable(existing).c_str(), nullptr)) {
      ADD_FAILURE() << LastErrorText("CreateHardLinkW", path);
      return;
    }
    made_.push_back({reachable, false});
  }

  // The runner's link, named by the environment variable it sets for the run.
  std::string FolderLink() override {
    wchar_t link[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"ORVO_CONTRACT_FOLDER_LINK", link, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::string() : Narrow(std::wstring_view(link, n));
  }

  void SetEnv(const std::string& name, const std::string& value) override {
    EnvEntry saved{Widen(name), std::wstring(32767, L'\0'), false};
    const DWORD n = ::GetEnvironmentVariableW(saved.name.c_str(), saved.value.data(),
                                              static_cast<DWORD>(saved.value.size()));
    saved.wasSet = n != 0 || ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    saved.value.resize(n);
    env_.push_back(saved);
    if (!::SetEnvironmentVariableW(saved.name.c_str(), Widen(value).c_str())) {
      ADD_FAILURE() << LastErrorText("SetEnvironmentVariableW", name);
    }
  }

  void AddService(const std::string& name, bool running) override {
    if (Manager() == nullptr) return;
    RemoveService(name);  // left over from an earlier, interrupted run
    const std::wstring program = L"\"" + ProgramFolder() + L"\\contract_service.exe\"";
    SC_HANDLE service = nullptr;
    // A fresh prefix's first CreateServiceW now and then fails; a retry is logged.
    for (int attempt = 1; attempt <= 3 && service == nullptr; ++attempt) {
      service =
          ::CreateServiceW(manager_, Widen(name).c_str(), Widen(name).c_str(), SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                           program.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
      if (service == nullptr && attempt < 3) {
        std::fprintf(stderr, "setup: %s; retrying\n",
                     LastErrorText("CreateServiceW", name).c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
      }
    }
    if (service == nullptr) {
      ADD_FAILURE() << LastErrorText("CreateServiceW", name);
      return;
    }
    services_.push_back(name);
    if (running) {
      // A manager still busy with its own services refuses (1055) or times out (1053) a start;
      // such a setup step is retried and logged.
      BOOL started = FALSE;
      for (int attempt = 1; attempt <= 3 && !started; ++attempt) {
        started = ::StartServiceW(service, 0, nullptr);
        const DWORD error = ::GetLastError();
        if (!started && attempt < 3 &&
            (error == ERROR_SERVICE_DATABASE_LOCKED || error == ERROR_SERVICE_REQUEST_TIMEOUT)) {
          std::fprintf(stderr, "setup: %s; retrying\n",
                       LastErrorText("StartServiceW", name).c_str());
          std::this_thread::sleep_for(std::chrono::seconds(1));
        }
      }
      if (!started) {
        ADD_FAILURE() << LastErrorText("StartServiceW", name);
      } else if (!WaitForState(service, SERVICE_RUNNING)) {
        ADD_FAILURE() << "service " << name << " did not reach the running state";
      }
    }
    ::CloseServiceHandle(service);
  }

  bool HasService(const std::string& name) override {
    if (Manager() == nullptr) return false;
    SC_HANDLE service = ::OpenServiceW(manager_, Widen(name).c_str(), SERVICE_QUERY_STATUS);
    if (service == nullptr) return ::GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
    ::CloseServiceHandle(service);
    return true;
  }

  bool ServiceGoneSoon(const std::string& name) override {
    const auto deadline = std::chrono::steady_clock::now() + kStateDeadline;
    while (HasService(name)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  void AddKey(const std::string& path) override {
    const KeyPath split = SplitKeyPath(path);
    if (split.root == nullptr) return;
    // Every key from the root down, so that the topmost one made here is known and removed.
    bool madeTopmost = false;
    for (std::size_t at = split.rest.find(L'\\');; at = split.rest.find(L'\\', at + 1)) {
      const std::wstring key = split.rest.substr(0, at);
      HKEY created = nullptr;
      DWORD disposition = 0;
      const LSTATUS status =
          ::RegCreateKeyExW(split.root, key.c_str(), 0, nullptr, 0, KEY_READ | kNativeView, nullptr,
                            &created, &disposition);
      if (status != ERROR_SUCCESS) {
        ADD_FAILURE() << CodeText("RegCreateKeyExW", path, status);
        return;
      }
      ::RegCloseKey(created);
      // The topmost key made here goes, with its subtree, when the machine goes.
      if (disposition == REG_CREATED_NEW_KEY && !madeTopmost) {
        keys_.push_back({split.root, key});
        madeTopmost = true;
      }
      if (at == std::wstring::npos) return;
    }
  }

  void SetValue(const std::string& keyPath, const std::string& name, Dword type,
                const std::vector<std::uint8_t>& data) override {
    const KeyPath split = SplitKeyPath(keyPath);
    HKEY key = nullptr;
    LSTATUS status =
        ::RegOpenKeyExW(split.root, split.rest.c_str(), 0, KEY_SET_VALUE | kNativeView, &key);
    if (status != ERROR_SUCCESS) {
      ADD_FAILURE() << CodeText("RegOpenKeyExW", keyPath, status);
      return;
    }
    // Windows stores the character just past a string's counted bytes when that one is a NUL
    // and the counted ones end without: a guard character keeps "without NUL" exact.
    std::vector<std::uint8_t> guarded = data;
    guarded.insert(guarded.end(), {'X', 0, 0, 0});
    status = ::RegSetValueExW(key, Widen(name).c_str(), 0, type, guarded.data(),
                              static_cast<DWORD>(data.size()));
    if (status != ERROR_SUCCESS) ADD_FAILURE() << CodeText("RegSetValueExW", name, status);
    ::RegCloseKey(key);
  }

  bool KeyExists(const std::string& path) override {
    const KeyPath split = SplitKeyPath(path);
    HKEY key = nullptr;
    // READ_CONTROL is the owner's whatever the DACL says; a refusal still means the key is there.
    const LSTATUS status =
        ::RegOpenKeyExW(split.root, split.rest.c_str(), 0, READ_CONTROL | kNativeView, &key);
    if (status == ERROR_SUCCESS) ::RegCloseKey(key);
    return status == ERROR_SUCCESS || status == ERROR_ACCESS_DENIED;
  }

  void SetKeyDacl(const std::string& path, const platform::Acl& dacl, std::uint16_t control,
                  const std::optional<platform::Sid>& newOwner) override {
    const KeyPath split = SplitKeyPath(path);
    HKEY key = nullptr;
    LSTATUS status = ::RegOpenKeyExW(split.root, split.rest.c_str(), 0,
                                     READ_CONTROL | WRITE_DAC | WRITE_OWNER | kNativeView, &key);
    if (status != ERROR_SUCCESS) {
      ADD_FAILURE() << CodeText("RegOpenKeyExW", path, status);
      return;
    }
    // The owner and group are written back as they were: Wine replaces both when the DACL is
    // written alone.
    DWORD size = 0;
    ::RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, nullptr,
                        &size);
    std::vector<DWORD> current(size / sizeof(DWORD) + 1);
    status = ::RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                                 current.data(), &size);
    PSID owner = nullptr;
    PSID group = nullptr;
    BOOL defaulted = FALSE;
    ::GetSecurityDescriptorOwner(current.data(), &owner, &defaulted);
    ::GetSecurityDescriptorGroup(current.data(), &group, &defaulted);

    platform::win32::UniqueLocal given;
    if (newOwner) {
      given = platform::win32::SidFromText(newOwner->text);
      if (!given) {
        ADD_FAILURE() << "not a SID: " << newOwner->text;
        ::RegCloseKey(key);
        return;
      }
      owner = given.get();
    }

    SeedAcl acl(dacl);
    SECURITY_DESCRIPTOR sd{};
    ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorOwner(&sd, owner, FALSE);
    ::SetSecurityDescriptorGroup(&sd, group, FALSE);
    ::SetSecurityDescriptorDacl(&sd, TRUE, acl.get(), FALSE);
    constexpr SECURITY_DESCRIPTOR_CONTROL kInheritance =
        SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ;
    ::SetSecurityDescriptorControl(
        &sd, kInheritance, static_cast<SECURITY_DESCRIPTOR_CONTROL>(control & kInheritance));
    if (status == ERROR_SUCCESS) {
      status = ::RegSetKeySecurity(
          key, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
          &sd);
    }
    if (status != ERROR_SUCCESS) ADD_FAILURE() << CodeText("RegSetKeySecurity", path, status);
    ::RegCloseKey(key);
  }

  std::string ExitCodeProgram() const override {
    return Narrow(ProgramFolder() + L"\\exit_code.exe");
  }

  std::string HoldArgument() override {
    if (hold_ == nullptr) {
      static int holds = 0;
      holdName_ = "OrvoContractHold-" + std::to_string(::GetCurrentProcessId()) + "-" +
                  std::to_string(++holds);
      hold_ = ::CreateEventW(nullptr, TRUE, FALSE, Widen(holdName_).c_str());
      if (hold_ == nullptr) ADD_FAILURE() << LastErrorText("CreateEventW", holdName_);
    }
    return holdName_;
  }

  void ReleaseHeldPrograms() override {
    if (hold_ != nullptr && !::SetEvent(hold_)) ADD_FAILURE() << LastErrorText("SetEvent", "");
  }

  // A copy of the sleeper program under the name, started and waited for until it says it
  // runs; it ends by itself when this program does.
  Dword AddRunningProcess(const std::string& exeName) override {
    const std::wstring program = Reachable(scratch_ + "\\" + exeName);
    if (!::CopyFileW((ProgramFolder() + L"\\contract_sleeper.exe").c_str(), program.c_str(),
                     FALSE)) {
      ADD_FAILURE() << LastErrorText("CopyFileW", exeName);
      return 0;
    }
    made_.push_back({program, false});
    static int sleepers = 0;
    const std::wstring readyName = L"OrvoContractReady-" +
                                   std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(++sleepers);
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    if (ready == nullptr) {
      ADD_FAILURE() << LastErrorText("CreateEventW", Narrow(readyName));
      return 0;
    }
    std::wstring line =
        L"\"" + program + L"\" " + std::to_wstring(::GetCurrentProcessId()) + L" " + readyName;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &started)) {
      ADD_FAILURE() << LastErrorText("CreateProcessW", exeName);
      ::CloseHandle(ready);
      return 0;
    }
    ::CloseHandle(started.hThread);
    processes_.emplace(started.dwProcessId, started.hProcess);
    const HANDLE either[] = {ready, started.hProcess};
    if (::WaitForMultipleObjects(2, either, FALSE, kStateDeadlineMs) != WAIT_OBJECT_0) {
      ADD_FAILURE() << exeName << " did not start running";
    }
    ::CloseHandle(ready);
    return started.dwProcessId;
  }

  bool ProcessRunning(Dword processId) override {
    const auto process = processes_.find(processId);
    if (process == processes_.end()) {
      ADD_FAILURE() << "process " << processId << " was not started by this machine";
      return false;
    }
    return ::WaitForSingleObject(process->second, 0) == WAIT_TIMEOUT;
  }

  bool ProcessEndsSoon(Dword processId) override {
    const auto process = processes_.find(processId);
    if (process == processes_.end()) {
      ADD_FAILURE() << "process " << processId << " was not started by this machine";
      return false;
    }
    return ::WaitForSingleObject(process->second, kStateDeadlineMs) == WAIT_OBJECT_0;
  }

  bool PrivilegeEnabled(const std::string& name) override {
    LUID luid{};
    if (!::LookupPrivilegeValueW(nullptr, Widen(name).c_str(), &luid)) {
      ADD_FAILURE() << LastErrorText("LookupPrivilegeValueW", name);
      return false;
    }
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
      ADD_FAILURE() << LastErrorText("OpenProcessToken", name);
      return false;
    }
    DWORD size = 0;
    ::GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
    const BOOL read =
        ::GetTokenInformation(token, TokenPrivileges, buffer.data(),
                              static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &size);
    ::CloseHandle(token);
    if (!read) {
      ADD_FAILURE() << LastErrorText("GetTokenInformation", name);
      return false;
    }
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
      const LUID_AND_ATTRIBUTES& held = privileges->Privileges[i];
      if (held.Luid.LowPart == luid.LowPart && held.Luid.HighPart == luid.HighPart) {
        return (held.Attributes & SE_PRIVILEGE_ENABLED) != 0;
      }
    }
    return false;
  }

  // Nothing to do: Wine's Win32_Process has no Terminate method and refuses every call.
  void RefuseWmiTerminate() override {}
  // Nothing to do: Wine refuses the extended disposition record whatever its flags.
  void RefuseIgnoreReadOnlyOnDelete() override {}

 private:
  struct Made {
    std::wstring path;
    bool folder;
  };
  struct EnvEntry {
    std::wstring name;
    std::wstring value;
    bool wasSet;
  };

  SC_HANDLE Manager() {
    if (manager_ == nullptr) {
      manager_ = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
      if (manager_ == nullptr) ADD_FAILURE() << LastErrorText("OpenSCManagerW", "");
    }
    return manager_;
  }

  static bool WaitForState(SC_HANDLE service, DWORD state) {
    const auto deadline = std::chrono::steady_clock::now() + kStateDeadline;
    SERVICE_STATUS status{};
    while (::QueryServiceStatus(service, &status) && status.dwCurrentState != state) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return status.dwCurrentState == state;
  }

  // Stops and deletes the service if it is there, and waits until it has gone.
  void RemoveService(const std::string& name) {
    if (Manager() == nullptr) return;
    SC_HANDLE service = ::OpenServiceW(manager_, Widen(name).c_str(), SERVICE_ALL_ACCESS);
    if (service == nullptr) return;
    SERVICE_STATUS status{};
    if (::ControlService(service, SERVICE_CONTROL_STOP, &status)) {
      WaitForState(service, SERVICE_STOPPED);
    }
    ::DeleteService(service);
    ::CloseServiceHandle(service);
    if (!ServiceGoneSoon(name)) ADD_FAILURE() << "service " << name << " was not removed";
  }

  platform::Platform previous_;
  std::string scratch_;
  std::vector<Made> made_;
  std::vector<HANDLE> locks_;
  std::map<Dword, HANDLE> processes_;  // started by AddRunningProcess, by id
  std::vector<EnvEntry> env_;
  std::vector<std::string> services_;
  SC_HANDLE manager_ = nullptr;
  std::vector<KeyPath> keys_;
  HANDLE hold_ = nullptr;
  std::string holdName_;
};

}  // namespace

std::unique_ptr<Machine> Machine::Create() { return std::make_unique<Win32Machine>(); }

}  // namespace orvo::contract
