// Widening a registry key's access list: full control, inherited by its subkeys, for
// the current user, System, Administrators, Power Users and Users.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/security.h"
#include "platform/types.h"

namespace orvo::SetPerm {

// One account of the list the routines pass around.
struct AccountPerm {
  std::string AccountName;
  platform::Dword AccessMask = 0;
  std::uint8_t AceFlags = 0;
  std::uint8_t AceType = platform::kAccessAllowedAceType;
  std::optional<platform::Sid> pSid;
  bool bSidGiven = false;  // the caller supplied pSid: it is neither looked up nor dropped
};

// The new descriptor and its access list, built by ComposeNewDacl.
struct NewSecurity {
  platform::SecurityDescriptor pSD;
  platform::Acl pAcl;
};

// Gives the five accounts full control of the key; answers are not examined.
void GetRegKeyPermissions(const std::string& sTopKey, const std::string& sKeyPath);
// Adds one account's allow or deny entry to the key's DACL; true when written.
bool RegSetKeyPermission(const std::string& sTopKey, const std::string& sKeyPath,
                         std::string& sAccount, std::string& sAllowDeny,
                         const std::string& sAccess);
// Reads the DACL of an open key, composes the new one and writes it back.
bool UpdatePermissionsOfRegistryKey(platform::Handle key, std::vector<AccountPerm>& list);
// The new DACL: the list's deny entries, the key's explicit entries for other
// accounts, the list's allow entries, then the inherited entries.
bool ComposeNewDacl(const platform::SecurityDescriptor* oldSD, std::vector<AccountPerm>& list,
                    NewSecurity& out);
// Appends one access entry; true when it was appended.
bool ConstructAndAddAce(platform::Acl& acl, std::uint8_t type, std::uint8_t flags,
                        platform::Dword mask, const platform::Sid& sid);
// True when the SID is the SID of one of the list's entries.
bool IsEqual(const std::vector<AccountPerm>& list, const platform::Sid& sid);

}  // namespace orvo::SetPerm
