// Widening a registry key's access list before it is deleted: full control, inherited by its
// subkeys, for System and Administrators; and putting the old list back on a key that stays.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/security.h"
#include "platform/types.h"

namespace orvo::registry {

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

// Gives System and Administrators full control of the key; answers are not examined.
void GetRegKeyPermissions(const std::string& sTopKey, const std::string& sKeyPath);
// The key's DACL as it is now (nothing when the key is missing or its DACL cannot be read).
std::optional<platform::SecurityDescriptor> SaveRegKeyDacl(const std::string& sTopKey,
                                                           const std::string& sKeyPath);
// Writes a saved DACL back when the key is still there; a refused write is logged.
void RestoreRegKeyDacl(const std::string& sTopKey, const std::string& sKeyPath,
                       const std::optional<platform::SecurityDescriptor>& saved);
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

}  // namespace orvo::registry
