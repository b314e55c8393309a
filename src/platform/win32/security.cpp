// Account names and the process token's user, as string SIDs.
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
