// Account names and the process token's user, as string SIDs; the token's privileges; file
// owners by handle.
#include "platform/security.h"

#include <vector>

#include "platform/win32/areas.h"
#include "platform/win32/support.h"
#include "platform/win32/trust.h"

namespace orvo::platform::win32 {
namespace {

class Win32Security final : public ISecurity {
 public:
  // The SID of an account on this computer (sizes asked first); nullopt with the error, 1332
  // for a name the computer does not know.
  std::optional<Sid> LookupAccountNameW(const std::string& accountName) override {
    const std::wstring name = Widen(accountName);
    DWORD sidSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use = SidTypeUnknown;
    if (!::LookupAccountNameW(nullptr, name.c_str(), nullptr, &sidSize, nullptr, &domainSize,
                              &use) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      TakeLastError();
      return std::nullopt;
    }
    std::vector<std::uint8_t> sid(sidSize);
    std::wstring domain(domainSize, L'\0');
    if (!::LookupAccountNameW(nullptr, name.c_str(), sid.data(), &sidSize, domain.data(),
                              &domainSize, &use)) {
      TakeLastError();
      return std::nullopt;
    }
    return Text(sid.data());
  }

  // The user SID of this process's token; nullopt with the error when the token cannot be read.
  std::optional<Sid> GetTokenUserSid() override {
    UniqueWin32Handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
      TakeLastError();
      return std::nullopt;
    }
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      TakeLastError();
      return std::nullopt;
    }
    // DWORD storage keeps the record aligned for the SID pointer at its start.
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
      TakeLastError();
      return std::nullopt;
    }
    return Text(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
  }

  std::int32_t WinVerifyTrust(const std::string& file, std::string& signerOrganization) override {
    return VerifyFileSignature(file, signerOrganization);
  }

  // This process's token with the rights asked for; false with the error.
  bool OpenProcessToken(Dword desiredAccess, Handle& token) override {
    HANDLE opened = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), desiredAccess, &opened)) {
      TakeLastError();
      return false;
    }
    token = ToHandle(opened);
    return true;
  }

  // The privilege's LUID, its high part in the upper 32 bits; false with 1313 for an unknown
  // name (the lookup ignores letter case).
  bool LookupPrivilegeValueW(const std::string& name, Luid& luid) override {
    LUID value{};
    if (!::LookupPrivilegeValueW(nullptr, Widen(name).c_str(), &value)) {
      TakeLastError();
      return false;
    }
    luid = (static_cast<Luid>(static_cast<DWORD>(value.HighPart)) << 32) | value.LowPart;
    return true;
  }

  // Switches the one privilege; true when the call ran, the last error then telling whether
  // it changed (0) or the token does not hold it (1300). False with the error (6, or 5 for a
  // token opened without TOKEN_ADJUST_PRIVILEGES).
  bool AdjustTokenPrivileges(Handle token, Luid luid, bool enable) override {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid.LowPart = static_cast<DWORD>(luid);
    privileges.Privileges[0].Luid.HighPart = static_cast<LONG>(luid >> 32);
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    const BOOL ran =
        ::AdjustTokenPrivileges(FromHandle<HANDLE>(token), FALSE, &privileges, 0, nullptr, nullptr);
    TakeLastError();
    return ran != FALSE;
  }

  // The entry's new owner, set through its open handle; answers the Win32 error (1337 for
  // text that is not a SID).
  Dword SetFileOwner(Handle file, const Sid& owner) override {
    const UniqueLocal sid = SidFromText(owner.text);
    if (!sid) return static_cast<Dword>(::GetLastError());
    return static_cast<Dword>(::SetSecurityInfo(FromHandle<HANDLE>(file), SE_FILE_OBJECT,
                                                OWNER_SECURITY_INFORMATION, sid.get(), nullptr,
                                                nullptr, nullptr));
  }

 private:
  static std::optional<Sid> Text(PSID sid) {
    std::optional<std::string> text = SidText(sid);
    if (!text) {
      TakeLastError();
      return std::nullopt;
    }
    return Sid{std::move(*text)};
  }
};

}  // namespace

ISecurity& Accounts() noexcept {
  static Win32Security instance;
  return instance;
}

}  // namespace orvo::platform::win32
