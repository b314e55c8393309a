// The Windows version snapshot and its flags.
#include "support/windows_version.h"

#include <gtest/gtest.h>

#include "platform/fake/FakeMachine.h"

namespace orvo::support {
namespace {

using fake::FakeMachine;

struct VersionCase {
  const char* name;
  platform::Dword major, minor;
  std::uint8_t productType;
  bool xp, y2003, vista, win7, win8, s2008, s2008r2;
};

// Every flag is an at-least test on (major, minor): 10.0 is later than 6.1.
const VersionCase kNtCases[] = {
    {"2000", 5, 0, 1, false, false, false, false, false, false, false},
    {"XP", 5, 1, 1, true, false, false, false, false, false, false},
    {"Server 2003", 5, 2, 3, true, true, false, false, false, false, false},
    {"Vista", 6, 0, 1, true, true, true, false, false, false, false},
    {"Server 2008", 6, 0, 3, true, true, true, false, false, true, false},
    {"7", 6, 1, 1, true, true, true, true, false, false, false},
    {"Server 2008 R2", 6, 1, 3, true, true, true, true, false, true, true},
    {"8", 6, 2, 1, true, true, true, true, true, false, false},
    {"8.1", 6, 3, 1, true, true, true, true, true, false, false},
    {"10 and 11", 10, 0, 1, true, true, true, true, true, false, false},
    {"Server 2019", 10, 0, 3, true, true, true, true, true, true, true},
};

TEST(clsOpSys, NtFlagsAreAtLeastTestsOnTheVersionPair) {
  for (const VersionCase& c : kNtCases) {
    SCOPED_TRACE(c.name);
    FakeMachine machine;
    machine.SetVersion(c.major, c.minor, 1234, c.productType);
    const clsOpSys os;
    EXPECT_TRUE(os.IsWinNT());
    EXPECT_TRUE(os.IsWin2K());
    EXPECT_EQ(os.IsWinXP(), c.xp);
    EXPECT_EQ(os.Is2003(), c.y2003);
    EXPECT_EQ(os.IsVista(), c.vista);
    EXPECT_EQ(os.IsWin7(), c.win7);
    EXPECT_EQ(os.IsWin8(), c.win8);
    EXPECT_EQ(os.Is2008(), c.s2008);
    EXPECT_EQ(os.Is2008R2(), c.s2008r2);
    EXPECT_EQ(os.IsServer(), c.productType > 1);
    EXPECT_FALSE(os.IsWin9x());
    EXPECT_EQ(IsVista(), c.vista);
    EXPECT_EQ(IsWin7(), c.win7);
  }
}

TEST(clsOpSys, OlderFamilyFlags) {
  struct Case {
    const char* name;
    platform::Dword minor, build;
    bool win98, me;
  } cases[] = {
      {"95", 0, 950, false, false}, {"98", 10, 1998, true, false}, {"ME", 90, 3000, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMachine machine;
    machine.SetVersion(4, c.minor, c.build | 0x04000000U, 0, platform::kVerPlatformWin32Windows);
    const clsOpSys os;
    EXPECT_FALSE(os.IsWinNT());
    EXPECT_FALSE(os.IsVista());
    EXPECT_TRUE(os.IsWin95());
    EXPECT_EQ(os.IsWin98(), c.win98);
    EXPECT_EQ(os.IsWinME(), c.me);
    EXPECT_TRUE(os.IsWin9x());
  }
}

TEST(clsOpSys, UnknownPlatformSetsNoFlag) {
  FakeMachine machine;
  machine.SetVersion(10, 0, 1, 1, 3);
  const clsOpSys os;
  EXPECT_FALSE(os.IsWinNT() || os.IsWin9x() || os.IsVista() || os.IsWin7());
}

TEST(clsOpSys, FallsBackToThePlainRecordWhenTheExtendedOneIsRefused) {
  FakeMachine machine;
  machine.SetVersion(6, 1, 7601, 3);
  machine.versionRecord.wServicePackMajor = 1;
  machine.refuseExtendedVersion = true;
  const clsOpSys os;
  EXPECT_EQ(machine.calls, (std::vector<std::string>{"GetVersionExA(156)", "GetVersionExA(148)"}));
  EXPECT_TRUE(os.IsWin7());
  // The plain record has no product type or service-pack numbers: they stay zero.
  EXPECT_EQ(os.ProductType(), 0);
  EXPECT_EQ(os.ServicePackMajor(), 0);
  EXPECT_FALSE(os.Is2008());
}

TEST(clsOpSys, PropertiesFromTheRecord) {
  FakeMachine machine;
  machine.SetVersion(6, 1, 0x0001F000U | 7601U, 3);
  machine.versionRecord.szCSDVersion = std::string("  Service Pack 1 \0junk", 22);
  machine.versionRecord.wSuiteMask = (1U << 4) | (1U << 1);
  machine.cleanBoot = 1;
  machine.SetEnv("windir", "C:\\WINDOWS");
  const clsOpSys os;
  EXPECT_EQ(os.CSDVersion(), "Service Pack 1");
  EXPECT_EQ(os.BuildNumber(), static_cast<std::int16_t>(0xF000U | 7601U));
  EXPECT_TRUE(os.HasTS());
  EXPECT_TRUE(os.HasAS());
  EXPECT_FALSE(os.HasDC());
  EXPECT_EQ(os.WindowsMode(), 1);
  EXPECT_EQ(os.ProductTypeName(), "NT Server");
  EXPECT_EQ(os.Platform(), "Windows Server 2008 R2");
  EXPECT_EQ(os.SystemFolder(), "C:\\WINDOWS\\System32");
  machine.SetEnv("OS", "windows_nt");  // must equal exactly
  EXPECT_EQ(clsOpSys().SystemFolder(), "C:\\WINDOWS\\System");
}

TEST(clsOpSys, EachTestTakesAFreshSnapshot) {
  FakeMachine machine;
  machine.SetVersion(6, 0);
  EXPECT_FALSE(IsWin7());
  machine.SetVersion(6, 1);
  EXPECT_TRUE(IsWin7());
  EXPECT_EQ(machine.versionCalls, 2);
}

}  // namespace
}  // namespace orvo::support
