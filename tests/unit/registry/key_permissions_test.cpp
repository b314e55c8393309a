// Widening a key's access list: the composed DACL, the accounts, the view, the log.
#include "registry/key_permissions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fake/FakeMachine.h"
#include "platform/registry.h"

namespace orvo::registry {
namespace {

using fake::FakeMachine;
using platform::Ace;
using platform::Acl;
using platform::SecurityDescriptor;
using platform::Sid;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const Sid kAlice{"S-1-5-21-1-2-3-1001"};
const Sid kBob{"S-1-5-21-1-2-3-1002"};
const Sid kCarol{"S-1-5-21-1-2-3-1003"};

constexpr std::uint8_t kCi = platform::kContainerInheritAce;
constexpr std::uint8_t kInherited = platform::kInheritedAce;

AccountPerm Entry(const std::string& name, std::uint8_t type, const Sid& sid) {
  AccountPerm e;
  e.AccountName = name;
  e.AccessMask = platform::kKeyAllAccess;
  e.AceFlags = kCi;
  e.AceType = type;
  e.pSid = sid;
  e.bSidGiven = true;
  return e;
}

TEST(ComposeNewDacl, OrderDenyExplicitAllowInherited) {
  FakeMachine machine;
  SecurityDescriptor old;
  old.control = platform::kSeDaclPresent;
  old.dacl = Acl{{Ace{0, 0, 0x20019, kCarol},  // explicit, other account: kept
                  Ace{0, 0, 0x20019, kAlice},  // explicit, a listed account: dropped
                  Ace{1, 0, 0x10000, platform::kSidEveryone},  // explicit deny: kept in place
                  Ace{0, kInherited | kCi, 0xF003F, platform::kSidLocalSystem},
                  Ace{0, kInherited, 0x20019, kAlice},  // inherited: kept unfiltered, last
                  Ace{0, 0, 0x1, kBob}}};               // after the first inherited: kept as is
  std::vector<AccountPerm> list{Entry("alice", platform::kAccessAllowedAceType, kAlice),
                                Entry("bob", platform::kAccessDeniedAceType, kBob)};
  NewSecurity out;
  ASSERT_TRUE(ComposeNewDacl(&old, list, out));
  ASSERT_TRUE(out.pSD.dacl.has_value());
  EXPECT_THAT(out.pSD.dacl->aces,
              ElementsAre(Ace{1, kCi, 0xF003F, kBob}, Ace{0, 0, 0x20019, kCarol},
                          Ace{1, 0, 0x10000, platform::kSidEveryone}, Ace{0, kCi, 0xF003F, kAlice},
                          Ace{0, kInherited | kCi, 0xF003F, platform::kSidLocalSystem},
                          Ace{0, kInherited, 0x20019, kAlice}, Ace{0, 0, 0x1, kBob}));
  EXPECT_EQ(out.pAcl, *out.pSD.dacl);
  EXPECT_FALSE(out.pSD.owner.has_value());  // only the DACL is changed
  // Given SIDs stay with their entries.
  EXPECT_EQ(list[0].pSid, kAlice);
}

TEST(ComposeNewDacl, ControlBitsKeptFromTheOldDescriptor) {
  struct Case {
    const char* name;
    std::uint16_t oldControl;
    std::uint16_t expected;
  } cases[] = {
      {"auto-inherited", platform::kSeDaclAutoInherited | platform::kSeDaclProtected,
       platform::kSeDaclAutoInherited | platform::kSeDaclAutoInheritReq | platform::kSeDaclPresent},
      {"protected", platform::kSeDaclProtected,
       platform::kSeDaclProtected | platform::kSeDaclPresent},
      {"neither", platform::kSeDaclAutoInheritReq, platform::kSeDaclPresent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMachine machine;
    SecurityDescriptor old;
    old.control = c.oldControl;
    old.dacl = Acl{};
    std::vector<AccountPerm> list{Entry("alice", 0, kAlice)};
    NewSecurity out;
    ASSERT_TRUE(ComposeNewDacl(&old, list, out));
    EXPECT_EQ(out.pSD.control, c.expected);
  }
  // Before Windows 2000 nothing is copied.
  FakeMachine machine;
  machine.SetVersion(4, 0);
  SecurityDescriptor old;
  old.control = platform::kSeDaclProtected;
  std::vector<AccountPerm> list{Entry("alice", 0, kAlice)};
  NewSecurity out;
  ASSERT_TRUE(ComposeNewDacl(&old, list, out));
  EXPECT_EQ(out.pSD.control, platform::kSeDaclPresent);
}

TEST(ComposeNewDacl, LookupAndItsFailure) {
  FakeMachine machine;
  machine.accounts["alice"] = kAlice;
  AccountPerm byName;
  byName.AccountName = "alice";
  byName.AccessMask = platform::kKeyAllAccess;
  byName.AceFlags = kCi;
  std::vector<AccountPerm> list{byName};
  NewSecurity out;
  ASSERT_TRUE(ComposeNewDacl(nullptr, list, out));  // no old descriptor: only the new entry
  EXPECT_THAT(out.pSD.dacl->aces, ElementsAre(Ace{0, kCi, 0xF003F, kAlice}));
  EXPECT_FALSE(list[0].pSid.has_value());  // a looked-up SID is released again

  list[0].AccountName = "nobody";
  NewSecurity untouched;
  EXPECT_FALSE(ComposeNewDacl(nullptr, list, untouched));
  EXPECT_FALSE(untouched.pSD.dacl.has_value());
}

// Only the two accounts the elevated process holds are widened: a key that survives its
// deletion must not end up writable by Users, Power Users or the signed-in user.
TEST(GetRegKeyPermissions, SystemAndAdministratorsOnlyByTheirSids) {
  FakeMachine machine;
  // A display language that names the groups differently changes nothing.
  machine.accounts.erase("Administrators");
  machine.accounts.erase("Users");
  machine.AddKey("HKLM\\Software\\Tarnwick");
  SecurityDescriptor* sd = machine.KeySecurity("HKLM\\Software\\Tarnwick");
  const auto inherited = sd->dacl->aces;  // what the key got from its parent
  sd->control = platform::kSeDaclPresent | platform::kSeDaclAutoInherited;
  sd->dacl->aces.insert(sd->dacl->aces.begin(),
                        {Ace{0, 0, 0x20019, kCarol}, Ace{0, 0, 0x20019, platform::kSidUsers},
                         Ace{0, 0, 0x20019, machine.userSid}});

  GetRegKeyPermissions("HKLM", "Software\\Tarnwick");

  sd = machine.KeySecurity("HKLM\\Software\\Tarnwick");
  std::vector<Ace> expected{Ace{0, 0, 0x20019, kCarol}, Ace{0, 0, 0x20019, platform::kSidUsers},
                            Ace{0, 0, 0x20019, machine.userSid},
                            Ace{0, kCi, 0xF003F, platform::kSidLocalSystem},
                            Ace{0, kCi, 0xF003F, platform::kSidAdministrators}};
  expected.insert(expected.end(), inherited.begin(), inherited.end());
  EXPECT_EQ(sd->dacl->aces, expected);
  EXPECT_EQ(sd->control & (platform::kSeDaclAutoInherited | platform::kSeDaclAutoInheritReq),
            platform::kSeDaclAutoInherited | platform::kSeDaclAutoInheritReq);
  EXPECT_EQ(machine.debugLines,
            std::vector<std::string>(2, "\tSetPerm\\UpdatePermissionsOfRegistryKey: True"));
  EXPECT_EQ(machine.OpenKeyCount(), 0U);

  // Again: the accounts' own entries are replaced, not added twice.
  GetRegKeyPermissions("HKLM", "Software\\Tarnwick");
  EXPECT_EQ(machine.KeySecurity("HKLM\\Software\\Tarnwick")->dacl->aces, expected);
}

TEST(RegSetKeyPermission, WidensTheKeyOfItsViewOnly) {
  FakeMachine machine;
  machine.AddKey("HKLM\\Software\\Tarnwick");
  machine.AddKey("HKLM\\Software\\Wow6432Node\\Tarnwick");
  const SecurityDescriptor twin = *machine.KeySecurity("HKLM\\Software\\Wow6432Node\\Tarnwick");
  std::string account = "Users", allow;
  EXPECT_TRUE(RegSetKeyPermission("HKLM", "Software\\Tarnwick", account, allow, "R"));
  EXPECT_EQ(allow, "Allow");
  EXPECT_EQ(*machine.KeySecurity("HKLM\\Software\\Wow6432Node\\Tarnwick"), twin);
  EXPECT_THAT(machine.KeySecurity("HKLM\\Software\\Tarnwick")->dacl->aces,
              Contains(Ace{0, kCi, 0x20019, platform::kSidUsers}));

  account = "Users";
  allow = "Deny";
  EXPECT_TRUE(
      RegSetKeyPermission("HKLM", "Software\\Wow6432Node\\Tarnwick", account, allow, "Write"));
  EXPECT_EQ(machine.KeySecurity("HKLM\\Software\\Wow6432Node\\Tarnwick")->dacl->aces.front(),
            (Ace{1, kCi, 0x20006, platform::kSidUsers}));
}

TEST(RegSetKeyPermission, EmptyAccountIsTheCurrentUser) {
  FakeMachine machine;
  machine.AddKey("HKLM\\Software\\Tarnwick");
  std::string account, allow;
  EXPECT_TRUE(RegSetKeyPermission("HKLM", "Software\\Tarnwick", account, allow, "ALL"));
  EXPECT_EQ(account, "root");
  EXPECT_THAT(machine.KeySecurity("HKLM\\Software\\Tarnwick")->dacl->aces,
              Contains(Ace{0, kCi, 0xF003F, machine.userSid}));
}

TEST(RegSetKeyPermission, FailuresAndBadTopKey) {
  FakeMachine machine;
  std::string account = "Users", allow = "Allow";
  // A missing key: false, nothing logged.
  EXPECT_FALSE(RegSetKeyPermission("HKLM", "Software\\Missing", account, allow, "ALL"));
  EXPECT_THAT(machine.debugLines, IsEmpty());

  // A key owned by someone else that allows the caller nothing cannot be opened.
  machine.AddKey("HKLM\\Software\\Tarnwick\\Sealed");
  SecurityDescriptor* sd = machine.KeySecurity("HKLM\\Software\\Tarnwick\\Sealed");
  sd->owner = platform::kSidLocalSystem;
  sd->dacl = Acl{};
  EXPECT_FALSE(RegSetKeyPermission("HKLM", "Software\\Tarnwick\\Sealed", account, allow, "ALL"));
  EXPECT_THAT(machine.debugLines, IsEmpty());

  // An unknown account: the lookup fails and the one call says so.
  machine.AddKey("HKLM\\Software\\Tarnwick");
  account = "Nobody Here";
  EXPECT_FALSE(RegSetKeyPermission("HKLM", "Software\\Tarnwick", account, allow, "ALL"));
  EXPECT_THAT(machine.debugLines, ElementsAre("\t\t- result: False"));

  machine.debugLines.clear();
  account = "Users";
  EXPECT_TRUE(RegSetKeyPermission("HKCC", "Software\\Tarnwick", account, allow, "ALL"));
  EXPECT_THAT(
      machine.debugLines,
      ElementsAre("\tSetPerm\\RegSetKeyPermission - Bad skey passed:  HKCC",
                  "\t\tDefaulting to HKLM...", "\tSetPerm\\UpdatePermissionsOfRegistryKey: True"));
}

}  // namespace
}  // namespace orvo::registry
