// Seeds a registry key that nobody may use: gives an existing key of the 64-bit view (named
// "HKLM\..." as reg.exe names it) the owner asked for, "administrators" or "system", and an
// empty DACL. Exits 0 when both are set, with the Win32 error otherwise.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 || std::wcsncmp(argv[1], L"HKLM\\", 5) != 0) {
    std::fwprintf(stderr, L"usage: seed_key_dacl HKLM\\path administrators|system\n");
    return ERROR_INVALID_PARAMETER;
  }
  const bool system = std::wcscmp(argv[2], L"system") == 0;
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof sid;
  if (!CreateWellKnownSid(system ? WinLocalSystemSid : WinBuiltinAdministratorsSid, nullptr, sid,
                          &sidSize)) {
    return static_cast<int>(GetLastError());
  }
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, argv[1] + 5, 0,
                                 KEY_WOW64_64KEY | WRITE_DAC | WRITE_OWNER, &key);
  if (status != ERROR_SUCCESS) {
    std::fwprintf(stderr, L"RegOpenKeyExW(%ls): %ld\n", argv[1], status);
    return static_cast<int>(status);
  }
  ACL empty;
  SECURITY_DESCRIPTOR sd;
  if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION) ||
      !InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorOwner(&sd, sid, FALSE) ||
      !SetSecurityDescriptorDacl(&sd, TRUE, &empty, FALSE)) {
    const DWORD error = GetLastError();
    RegCloseKey(key);
    return static_cast<int>(error);
  }
  // The owner first: once the DACL is empty only the owner's implicit rights are left.
  status = RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, &sd);
  if (status == ERROR_SUCCESS) status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) {
    std::fwprintf(stderr, L"RegSetKeySecurity(%ls): %ld\n", argv[1], status);
    return static_cast<int>(status);
  }
  std::wprintf(L"%ls: owner %ls, empty DACL\n", argv[1], argv[2]);
  return 0;
}
