// Authenticode verification through wintrust.dll and crypt32.dll, loaded by full path.
#include "platform/win32/trust.h"

// windows.h comes first: the crypto headers need its types.
// clang-format off
#include "platform/win32/windows_api.h"
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>
// clang-format on

#include <string>

#include "platform/win32/support.h"

namespace orvo::platform::win32 {
namespace {

// Neither DLL is a KnownDLL: named bare, the loader could take a copy from the program's
// folder (Downloads). Each is loaded from the system folder by its full path, and the
// folders of its own imports are looked up from there first.
class SystemLibrary {
 public:
  explicit SystemLibrary(const wchar_t* name) noexcept {
    wchar_t folder[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const std::wstring path = std::wstring(folder, n) + L"\\" + name;
    module_ = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  ~SystemLibrary() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  // The named export as a function pointer of type F; null when missing.
  template <class F>
  F Function(const char* name) const noexcept {
    if (module_ == nullptr) return nullptr;
    // Casting through void(*)() keeps GCC from warning about the FARPROC signature.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_ = nullptr;
};

using WinVerifyTrustFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProvDataFn = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using ProvSignerFn = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
using ProvCertFn = CRYPT_PROVIDER_CERT*(WINAPI*)(CRYPT_PROVIDER_SGNR*, DWORD);
using CertNameFn = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

// The organisation (O=) in the subject of the first signer's certificate; empty when the
// state data does not hold one.
std::string SignerOrganization(const SystemLibrary& wintrust, const SystemLibrary& crypt32,
                               HANDLE state) {
  const auto provData = wintrust.Function<ProvDataFn>("WTHelperProvDataFromStateData");
  const auto signerOf = wintrust.Function<ProvSignerFn>("WTHelperGetProvSignerFromChain");
  const auto certOf = wintrust.Function<ProvCertFn>("WTHelperGetProvCertFromChain");
  const auto nameOf = crypt32.Function<CertNameFn>("CertGetNameStringW");
  if (provData == nullptr || signerOf == nullptr || certOf == nullptr || nameOf == nullptr) {
    return {};
  }
  CRYPT_PROVIDER_DATA* data = provData(state);
  CRYPT_PROVIDER_SGNR* signer = data != nullptr ? signerOf(data, 0, FALSE, 0) : nullptr;
  CRYPT_PROVIDER_CERT* cert = signer != nullptr ? certOf(signer, 0) : nullptr;
  if (cert == nullptr || cert->pCert == nullptr) return {};
  char oid[] = szOID_ORGANIZATION_NAME;
  wchar_t name[256] = {};
  const DWORD n = nameOf(cert->pCert, CERT_NAME_ATTR_TYPE, 0, oid, name, 256);
  return n > 1 ? Narrow(std::wstring_view(name, n - 1)) : std::string();
}

}  // namespace

std::int32_t VerifyFileSignature(const std::string& file, std::string& signerOrganization) {
  signerOrganization.clear();
  const SystemLibrary wintrust(L"wintrust.dll");
  const SystemLibrary crypt32(L"crypt32.dll");
  const auto verify = wintrust.Function<WinVerifyTrustFn>("WinVerifyTrust");
  if (verify == nullptr) {
    platform::SetLastError(ERROR_PROC_NOT_FOUND);
    return static_cast<std::int32_t>(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
  }
  const std::wstring path = Win32Path(file);
  WINTRUST_FILE_INFO fileInfo{};
  fileInfo.cbStruct = sizeof fileInfo;
  fileInfo.pcwszFilePath = path.c_str();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  // No revocation lookup: the machine may be offline, and a lookup must not hang the cleanup.
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  // INVALID_HANDLE_VALUE as the window: no user interface whatever the policy says.
  const HWND noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
  const LONG status = verify(noWindow, &action, &data);
  if (status == ERROR_SUCCESS) {
    signerOrganization = SignerOrganization(wintrust, crypt32, data.hWVTStateData);
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  verify(noWindow, &action, &data);
  return static_cast<std::int32_t>(status);
}

}  // namespace orvo::platform::win32
