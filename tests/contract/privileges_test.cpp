// Contract of the privilege calls the removal and the termination rely on: the process token,
// privilege names, and switching one privilege on and off.
#include <gtest/gtest.h>

#include <set>

#include "backend.h"

namespace orvo::contract {
namespace {

using platform::Dword;
using platform::GetLastError;
using platform::Handle;
using platform::Luid;
using platform::Security;
using platform::SetLastError;
using platform::UniqueKernelHandle;

constexpr Dword kErrorNoSuchPrivilege = 1313;

class PrivilegesContract : public ::testing::Test {
 protected:
  // The process token as the privilege switch opens it.
  static UniqueKernelHandle Token(Dword access) {
    Handle token = 0;
    if (!Security().OpenProcessToken(access, token)) {
      ADD_FAILURE() << "OpenProcessToken failed with " << GetLastError();
    }
    return UniqueKernelHandle(token);
  }

  static Luid Lookup(const std::string& name) {
    Luid luid = 0;
    if (!Security().LookupPrivilegeValueW(name, luid)) {
      ADD_FAILURE() << "LookupPrivilegeValueW(" << name << ") failed with " << GetLastError();
    }
    return luid;
  }

  std::unique_ptr<Machine> machine = Machine::Create();
};

TEST_F(PrivilegesContract, NamesLookUpToDistinctIdsWhateverTheirCase) {
  std::set<Luid> ids;
  for (const char* name : {"SeDebugPrivilege", "SeRestorePrivilege", "SeTakeOwnershipPrivilege",
                           "SeBackupPrivilege"}) {
    SCOPED_TRACE(name);
    const Luid luid = Lookup(name);
    EXPECT_NE(luid, 0u);
    ids.insert(luid);
  }
  EXPECT_EQ(ids.size(), 4u);
  EXPECT_EQ(Lookup("sedebugprivilege"), Lookup("SeDebugPrivilege"));
}

TEST_F(PrivilegesContract, UnknownNameIsNoSuchPrivilege) {
  Luid luid = 0;
  SetLastError(0);
  EXPECT_FALSE(Security().LookupPrivilegeValueW("SeNoSuchPrivilege", luid));
  EXPECT_EQ(GetLastError(), kErrorNoSuchPrivilege);
}

TEST_F(PrivilegesContract, DebugPrivilegeSwitchesOnAndOff) {
  const UniqueKernelHandle token = Token(platform::kTokenAdjustPrivileges | platform::kTokenQuery);
  ASSERT_TRUE(token);
  const Luid debug = Lookup("SeDebugPrivilege");
  for (const bool enable : {true, false, true, false}) {
    SCOPED_TRACE(enable);
    SetLastError(12345);
    ASSERT_TRUE(Security().AdjustTokenPrivileges(token.get(), debug, enable)) << GetLastError();
    EXPECT_EQ(GetLastError(), platform::kErrorSuccess);
    EXPECT_EQ(machine->PrivilegeEnabled("SeDebugPrivilege"), enable);
  }
}

// An elevated administrator's token does not hold the right to create tokens: the call runs
// and says that nothing was assigned.
TEST_F(PrivilegesContract, PrivilegeTheTokenDoesNotHoldIsNotAssigned) {
  const UniqueKernelHandle token = Token(platform::kTokenAdjustPrivileges | platform::kTokenQuery);
  ASSERT_TRUE(token);
  SetLastError(0);
  EXPECT_TRUE(
      Security().AdjustTokenPrivileges(token.get(), Lookup("SeCreateTokenPrivilege"), true));
  EXPECT_EQ(GetLastError(), platform::kErrorNotAllAssigned);
  EXPECT_FALSE(machine->PrivilegeEnabled("SeCreateTokenPrivilege"));
}

TEST_F(PrivilegesContract, TokenOpenedOnlyForQueryCannotBeAdjusted) {
  const UniqueKernelHandle token = Token(platform::kTokenQuery);
  ASSERT_TRUE(token);
  SetLastError(0);
  EXPECT_FALSE(Security().AdjustTokenPrivileges(token.get(), Lookup("SeDebugPrivilege"), true));
  EXPECT_EQ(GetLastError(), platform::kErrorAccessDenied);
}

}  // namespace
}  // namespace orvo::contract
