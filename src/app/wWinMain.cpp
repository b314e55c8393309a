// The program's entry: locks the DLL search to the system folder, installs the win32 backend
// and runs the cleanup.
#include "cleanup/run.h"
#include "platform/platform.h"
#include "platform/win32/backend.h"
#include "platform/win32/windows_api.h"

namespace {

// Makes every later DLL load search only the system folder. The program runs elevated and is
// started from Downloads, where a planted DLL would otherwise be found before the system's.
// Windows 7 without KB2533623 lacks the call: there at least the current folder is dropped.
void LockDllSearchToSystemFolder() noexcept {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const FARPROC proc =
      kernel32 != nullptr ? ::GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr;
  // Casting through void(*)() keeps GCC from warning about the FARPROC signature.
  const auto setDefaultDllDirectories =
      reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(proc));
  if (setDefaultDllDirectories == nullptr ||
      !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    ::SetDllDirectoryW(L"");
  }
}

// Where Windows has it (Windows 10 21H2 and later), junctions that a program that is not
// elevated made are not followed by this process: a defence in depth below the removal's own
// rule of never following a link. Elsewhere the call is missing or refused, and the program
// goes on.
void EnforceRedirectionTrust() noexcept {
  using SetPolicyFn = BOOL(WINAPI*)(int, PVOID, SIZE_T);
  constexpr int kProcessRedirectionTrustPolicy = 16;
  constexpr DWORD kEnforceRedirectionTrust = 0x1;
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const FARPROC proc =
      kernel32 != nullptr ? ::GetProcAddress(kernel32, "SetProcessMitigationPolicy") : nullptr;
  const auto setPolicy = reinterpret_cast<SetPolicyFn>(reinterpret_cast<void (*)()>(proc));
  if (setPolicy == nullptr) return;
  DWORD flags = kEnforceRedirectionTrust;
  setPolicy(kProcessRedirectionTrustPolicy, &flags, sizeof flags);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  LockDllSearchToSystemFolder();
  EnforceRedirectionTrust();
  orvo::platform::Install(orvo::platform::win32::Backend());
  orvo::cleanup::Main();
  return 0;
}
