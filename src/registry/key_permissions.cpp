// Widening a registry key's access list.
#include "registry/key_permissions.h"

#include <algorithm>

#include "platform/platform.h"
#include "platform/registry.h"
#include "registry/keys.h"
#include "support/environment.h"
#include "support/log.h"
#include "support/strings.h"

namespace orvo::registry {
namespace {

using platform::Dword;
using platform::Sid;

constexpr Dword kReadControlWriteDac = platform::kReadControl | platform::kWriteDac;

Dword AccessMaskFor(const std::string& sAccess) {
  if (sAccess == "R" || sAccess == "Read") return platform::kKeyRead;
  if (sAccess == "W" || sAccess == "Write") return platform::kKeyWrite;
  if (sAccess == "X" || sAccess == "Execute") return platform::kKeyExecute;
  return platform::kKeyAllAccess;
}

// The built-in accounts by their well-known SIDs, so that the widening works whatever
// the display language calls them; other names go through the account lookup.
std::optional<Sid> WellKnownSid(const std::string& accountName) {
  const std::string name = support::Upper(accountName);
  if (name == "SYSTEM") return platform::kSidLocalSystem;
  if (name == "ADMINISTRATORS") return platform::kSidAdministrators;
  if (name == "POWER USERS") return platform::kSidPowerUsers;
  if (name == "USERS") return platform::kSidUsers;
  return std::nullopt;
}

// The root of a short top-key name; any other name is HKLM (and says so when asked to).
platform::Handle RootFor(const std::string& sTopKey, bool logBadName) {
  const TopKeyName* entry = FindTopKey(sTopKey);
  if (entry != nullptr && entry->common) return entry->root;
  if (logBadName) {
    support::DPrint("SetPerm\\RegSetKeyPermission - Bad skey passed:  " + sTopKey);
    support::DPrint("\tDefaulting to HKLM...");
  }
  return platform::kHkeyLocalMachine;
}

// Opens the key in the view it is then deleted in, not in its 32-bit twin; empty when the
// open is refused or the key is missing (the open's answer in `code`, when asked for).
platform::UniqueHkey OpenInDeletionView(platform::Handle root, const std::string& sKeyPath,
                                        Dword access, Dword* code = nullptr) {
  const KeyView view = ViewFor(sKeyPath);
  platform::Handle opened = 0;
  const Dword answer =
      platform::Registry().RegOpenKeyExW(root, view.path, 0, access | view.flag, opened);
  if (code != nullptr) *code = answer;
  if (answer != platform::kErrorSuccess) return {};
  return platform::UniqueHkey(opened);
}

}  // namespace

// Full control for the two accounts the elevated process itself holds, System and
// Administrators, and for no one else: granting Users, Power Users or the signed-in user
// would leave a surviving key writable by programs that are not elevated.
void GetRegKeyPermissions(const std::string& sTopKey, const std::string& sKeyPath) {
  for (const char* account : {"System", "Administrators"}) {
    try {
      std::string sAccount = account;
      std::string sAllowDeny;
      RegSetKeyPermission(sTopKey, sKeyPath, sAccount, sAllowDeny, "ALL");
    } catch (...) {
      support::DPrintCaughtError("SetPerm\\GetRegKeyPermissions - VB ERROR: ");
    }
  }
}

bool RegSetKeyPermission(const std::string& sTopKey, const std::string& sKeyPath,
                         std::string& sAccount, std::string& sAllowDeny,
                         const std::string& sAccess) {
  try {
    const platform::Handle root = RootFor(sTopKey, /*logBadName=*/true);

    // The empty account is the current user, identified by the process token.
    std::optional<Sid> sid;
    if (sAccount.empty()) {
      sAccount = support::Environ("username");
      sid = platform::Security().GetTokenUserSid();
    } else {
      sid = WellKnownSid(sAccount);
    }
    if (sAllowDeny.empty()) sAllowDeny = "Allow";

    platform::UniqueHkey key = OpenInDeletionView(root, sKeyPath, kReadControlWriteDac);
    if (!key) return false;

    AccountPerm entry;
    entry.AccountName = sAccount;
    entry.AccessMask = AccessMaskFor(sAccess);
    entry.AceFlags = platform::kContainerInheritAce;
    entry.AceType =
        sAllowDeny == "Deny" ? platform::kAccessDeniedAceType : platform::kAccessAllowedAceType;
    entry.pSid = sid;
    entry.bSidGiven = sid.has_value();
    std::vector<AccountPerm> list{entry};
    return UpdatePermissionsOfRegistryKey(key.get(), list);
  } catch (...) {
    support::DPrintCaughtError("SetPerm\\RegSetKeyPermission - VB ERROR: ");
    return false;
  }
}

std::optional<platform::SecurityDescriptor> SaveRegKeyDacl(const std::string& sTopKey,
                                                           const std::string& sKeyPath) {
  const platform::UniqueHkey key =
      OpenInDeletionView(RootFor(sTopKey, /*logBadName=*/false), sKeyPath, platform::kReadControl);
  platform::SecurityDescriptor saved;
  if (!key || platform::Registry().RegGetKeySecurity(key.get(), platform::kDaclSecurityInformation,
                                                     saved) != platform::kErrorSuccess) {
    return std::nullopt;
  }
  return saved;
}

void RestoreRegKeyDacl(const std::string& sTopKey, const std::string& sKeyPath,
                       const std::optional<platform::SecurityDescriptor>& saved) {
  if (!saved) return;
  Dword code = 0;
  const platform::UniqueHkey key = OpenInDeletionView(RootFor(sTopKey, /*logBadName=*/false),
                                                      sKeyPath, platform::kWriteDac, &code);
  if (code == platform::kErrorFileNotFound) return;  // the key went: nothing to put back
  if (key) {
    code = platform::Registry().RegSetKeySecurity(key.get(), platform::kDaclSecurityInformation,
                                                  *saved);
  }
  if (code != platform::kErrorSuccess) {
    support::DPrintError(
        "SetPerm\\RestoreRegKeyDacl - the key's access list could not be "
        "written back: ",
        code);
    support::DPrint("\t- Key: " + sTopKey + "\\" + sKeyPath);
  }
}

bool UpdatePermissionsOfRegistryKey(platform::Handle key, std::vector<AccountPerm>& list) {
  platform::SecurityDescriptor current;
  NewSecurity composed;
  const bool ok = platform::Registry().RegGetKeySecurity(key, platform::kDaclSecurityInformation,
                                                         current) == platform::kErrorSuccess &&
                  ComposeNewDacl(&current, list, composed) &&
                  platform::Registry().RegSetKeySecurity(key, platform::kDaclSecurityInformation,
                                                         composed.pSD) == platform::kErrorSuccess;
  if (ok) {
    support::DPrint("SetPerm\\UpdatePermissionsOfRegistryKey: True");
  } else {
    support::DPrint("\t- result: False");
  }
  return ok;
}

bool ComposeNewDacl(const platform::SecurityDescriptor* oldSD, std::vector<AccountPerm>& list,
                    NewSecurity& out) {
  // SIDs looked up here are dropped again on every path; given ones stay.
  struct DropLookedUp {
    std::vector<AccountPerm>& list;
    ~DropLookedUp() {
      for (AccountPerm& entry : list) {
        if (!entry.bSidGiven) entry.pSid.reset();
      }
    }
  } drop{list};

  platform::OsVersionInfoEx version;
  version.dwOSVersionInfoSize = platform::kOsVersionInfoSize;
  if (!platform::Version().GetVersionExA(version)) return false;
  const bool win2kOrLater =
      version.dwMajorVersion > 4 && version.dwPlatformId == platform::kVerPlatformWin32Nt;

  NewSecurity result;
  const std::vector<platform::Ace> noEntries;
  const std::vector<platform::Ace>& old =
      oldSD != nullptr && oldSD->dacl ? oldSD->dacl->aces : noEntries;

  for (AccountPerm& entry : list) {
    if (entry.pSid) continue;
    entry.pSid = platform::Security().LookupAccountNameW(entry.AccountName);
    if (!entry.pSid) return false;
  }

  for (const AccountPerm& entry : list) {
    if (entry.AceType == platform::kAccessDeniedAceType &&
        !ConstructAndAddAce(result.pAcl, entry.AceType, entry.AceFlags, entry.AccessMask,
                            *entry.pSid)) {
      return false;
    }
  }
  std::size_t firstInherited = 0;
  for (; firstInherited < old.size(); ++firstInherited) {
    const platform::Ace& ace = old[firstInherited];
    if ((ace.flags & platform::kInheritedAce) != 0) break;
    if (!IsEqual(list, ace.sid)) result.pAcl.aces.push_back(ace);
  }
  for (const AccountPerm& entry : list) {
    if (entry.AceType == platform::kAccessAllowedAceType &&
        !ConstructAndAddAce(result.pAcl, entry.AceType, entry.AceFlags, entry.AccessMask,
                            *entry.pSid)) {
      return false;
    }
  }
  result.pAcl.aces.insert(result.pAcl.aces.end(),
                          old.begin() + static_cast<std::ptrdiff_t>(firstInherited), old.end());

  if (win2kOrLater && oldSD != nullptr) {
    const std::uint16_t control = oldSD->control;
    const std::uint16_t bits =
        (control & platform::kSeDaclAutoInherited) != 0
            ? static_cast<std::uint16_t>(platform::kSeDaclAutoInherited |
                                         platform::kSeDaclAutoInheritReq)
            : static_cast<std::uint16_t>(control & platform::kSeDaclProtected);
    result.pSD.control = static_cast<std::uint16_t>(result.pSD.control | bits);
  }
  result.pSD.control = static_cast<std::uint16_t>(result.pSD.control | platform::kSeDaclPresent);
  result.pSD.dacl = result.pAcl;
  out = std::move(result);
  return true;
}

bool ConstructAndAddAce(platform::Acl& acl, std::uint8_t type, std::uint8_t flags,
                        platform::Dword mask, const platform::Sid& sid) {
  try {
    // An access list holds at most 64 KiB.
    const platform::Ace ace{type, flags, mask, sid};
    if (acl.BytesInUse() + ace.Size() > 0xFFFF) return false;
    acl.aces.push_back(ace);
    return true;
  } catch (...) {
    support::DPrintCaughtError("SetPerm\\ConstructAndAddAce - VB ERROR: ");
    return false;
  }
}

bool IsEqual(const std::vector<AccountPerm>& list, const platform::Sid& sid) {
  try {
    return std::any_of(list.begin(), list.end(),
                       [&](const AccountPerm& entry) { return entry.pSid && *entry.pSid == sid; });
  } catch (...) {
    support::DPrintCaughtError("SetPerm\\IsEqual - VB ERROR: ");
    return false;
  }
}

}  // namespace orvo::registry
