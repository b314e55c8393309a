// The contract cases' machine under Wine: the win32 backend, with the state a case needs made
// by real Win32 calls and removed again when the case ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
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

// The folder of this test program, where the do-nothing service program is built.
std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path.substr(0, path.find_last_of(L'\\'));
}

bool IsWow64() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// A native path as a 32-bit program must spell it: the real system32 is reached through
// "sysnative", since the program's own "system32" is redirected to syswow64.
std::wstring Reachable(const std::string& nativePath) {
  std::wstring path = Win32Path(nativePath);
  wchar_t windows[MAX_PATH] = {};
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring system32 = Lower(std::wstring(windows) + L"\\system32");
  const std::wstring lower = Lower(path);
  if (IsWow64() && lower.rfind(system32, 0) == 0 &&
      (lower.size() == system32.size() || lower[system32.size()] == L'\\')) {
    path = std::wstring(windows) + L"\\sysnative" + path.substr(system32.size());
  }
  return path;
}

std::string LastErrorText(const char* call, const std::string& target) {
  return std::string(call) + "(" + target + ") failed with " + std::to_string(::GetLastError());
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
    for (HANDLE lock : locks_) ::CloseHandle(lock);
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (HasService(name)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
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
  std::vector<EnvEntry> env_;
  std::vector<std::string> services_;
  SC_HANDLE manager_ = nullptr;
};

}  // namespace

std::unique_ptr<Machine> Machine::Create() { return std::make_unique<Win32Machine>(); }

}  // namespace orvo::contract
