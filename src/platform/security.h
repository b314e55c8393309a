// Security identifiers, access lists and security descriptors as values, and the
// account calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace orvo::platform {

// A security identifier in its string form ("S-1-5-32-544").
struct Sid {
  std::string text;
  // The length of its binary form: 8 bytes plus 4 per sub-authority.
  [[nodiscard]] Dword Length() const noexcept;
  friend bool operator==(const Sid&, const Sid&) = default;
};

inline constexpr std::uint8_t kAccessAllowedAceType = 0;
inline constexpr std::uint8_t kAccessDeniedAceType = 1;
inline constexpr std::uint8_t kObjectInheritAce = 0x1;
inline constexpr std::uint8_t kContainerInheritAce = 0x2;
inline constexpr std::uint8_t kInheritOnlyAce = 0x8;
inline constexpr std::uint8_t kInheritedAce = 0x10;

// One access entry: type, flags, mask and SID; its size is 8 plus the SID's length.
struct Ace {
  std::uint8_t type = kAccessAllowedAceType;
  std::uint8_t flags = 0;
  Dword mask = 0;
  Sid sid;
  [[nodiscard]] Dword Size() const noexcept { return 8 + sid.Length(); }
  friend bool operator==(const Ace&, const Ace&) = default;
};

struct Acl {
  std::vector<Ace> aces;
  // Bytes in use: the 8-byte header plus every entry.
  [[nodiscard]] Dword BytesInUse() const noexcept;
  friend bool operator==(const Acl&, const Acl&) = default;
};

// Security information selectors and descriptor control bits.
inline constexpr Dword kOwnerSecurityInformation = 0x1;
inline constexpr Dword kGroupSecurityInformation = 0x2;
inline constexpr Dword kDaclSecurityInformation = 0x4;
inline constexpr std::uint16_t kSeDaclPresent = 0x0004;
inline constexpr std::uint16_t kSeDaclAutoInheritReq = 0x0100;
inline constexpr std::uint16_t kSeDaclAutoInherited = 0x0400;
inline constexpr std::uint16_t kSeDaclProtected = 0x1000;
// The control bits about the DACL's inheritance, the ones a DACL write sets as given.
inline constexpr std::uint16_t kSeDaclInheritanceControl =
    kSeDaclAutoInheritReq | kSeDaclAutoInherited | kSeDaclProtected;

// A security descriptor as a value: read, edit in memory, write back. No DACL
// (dacl empty) grants everyone everything; a present but empty DACL grants nobody.
struct SecurityDescriptor {
  std::uint16_t control = 0;
  std::optional<Sid> owner;
  std::optional<Sid> group;
  std::optional<Acl> dacl;
  friend bool operator==(const SecurityDescriptor&, const SecurityDescriptor&) = default;
};

// Well-known accounts, resolved the same way in every display language.
inline const Sid kSidLocalSystem{"S-1-5-18"};
inline const Sid kSidAdministrators{"S-1-5-32-544"};
inline const Sid kSidUsers{"S-1-5-32-545"};
inline const Sid kSidPowerUsers{"S-1-5-32-547"};
inline const Sid kSidEveryone{"S-1-1-0"};

// WinVerifyTrust's answers the system tells apart (HRESULTs, as the call returns them).
inline constexpr std::int32_t kTrustSuccess = 0;
inline constexpr std::int32_t kTrustENoSignature = static_cast<std::int32_t>(0x800B0100);
inline constexpr std::int32_t kTrustEBadDigest = static_cast<std::int32_t>(0x80096010);

// A privilege's locally unique identifier, and the token rights the privilege switch needs.
using Luid = std::uint64_t;
inline constexpr Dword kTokenQuery = 0x0008;
inline constexpr Dword kTokenAdjustPrivileges = 0x0020;

class ISecurity {
 public:
  virtual ~ISecurity() = default;
  // The SID of an account name on this computer; nullopt (last error set, 1332 for an
  // unknown name) when the lookup fails.
  virtual std::optional<Sid> LookupAccountNameW(const std::string& accountName) = 0;
  // The user SID of the process token; nullopt (last error set) on failure.
  virtual std::optional<Sid> GetTokenUserSid() = 0;
  // Checks the file's embedded Authenticode signature (WinVerifyTrust, generic verify action,
  // no user interface, no revocation lookup over the network). On kTrustSuccess,
  // `signerOrganization` is the organisation (O=) of the signing certificate's subject;
  // otherwise it is empty and the answer is WinVerifyTrust's (kTrustENoSignature for an
  // unsigned file, kTrustEBadDigest for one changed after signing).
  virtual std::int32_t WinVerifyTrust(const std::string& file, std::string& signerOrganization) = 0;

  // The process token, opened with the rights; false (last error set) on failure. Closed
  // with IProcesses::CloseHandle.
  virtual bool OpenProcessToken(Dword desiredAccess, Handle& token) = 0;
  // The identifier of a named privilege ("SeRestorePrivilege"); false with 1313 for an
  // unknown name.
  virtual bool LookupPrivilegeValueW(const std::string& name, Luid& luid) = 0;
  // Switches one privilege of the token on or off. True when the call ran; the last error
  // is then 0, or 1300 when the token does not hold the privilege (nothing changed).
  virtual bool AdjustTokenPrivileges(Handle token, Luid luid, bool enable) = 0;
  // Makes the SID the owner of the entry open behind the handle (opened with kWriteOwner;
  // a link is its own entry): SetSecurityInfo with OWNER_SECURITY_INFORMATION. Answers the
  // Win32 error (0 success; 1307 for an owner the caller may not set without the restore
  // privilege).
  virtual Dword SetFileOwner(Handle file, const Sid& owner) = 0;
};

}  // namespace orvo::platform
