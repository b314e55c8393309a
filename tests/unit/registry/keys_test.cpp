// Top-key names and the view rule.
#include "registry/keys.h"

#include <climits>
#include <cstdint>

#include "platform/registry.h"
#include "registry_fixture.h"

namespace orvo::registry {
namespace {

using fixture::RegistryTest;
using ::testing::IsEmpty;

// Root-key handles are the 32-bit values sign-extended, as Windows defines them for a 64-bit
// build (this host build is one): HKEY_LOCAL_MACHINE is -2147483646 as a pointer-sized number.
TEST(PredefinedKeys, SignExtendToTheWidthOfAHandle) {
  EXPECT_EQ(static_cast<std::intptr_t>(platform::kHkeyClassesRoot), std::intptr_t{INT32_MIN});
  EXPECT_EQ(static_cast<std::intptr_t>(platform::kHkeyLocalMachine), std::intptr_t{INT32_MIN + 2});
  EXPECT_EQ(static_cast<std::intptr_t>(platform::kHkeyDynData), std::intptr_t{INT32_MIN + 6});
}

TEST_F(RegistryTest, TopKeyNames) {
  machine.AddFile("C:\\Tools\\HKEY_LOCAL_MACHINE");
  machine.AddFile("C:\\Tools\\settings.ini");
  machine.AddFile("C:\\Tools\\hidden.ini", platform::kFileAttributeHidden);
  struct Case {
    const char* name;
    platform::Handle expected;
  } cases[] = {{"hklm", platform::kHkeyLocalMachine},
               {"HKCU", platform::kHkeyCurrentUser},
               {"Hku", platform::kHkeyUsers},
               {"HKCC", platform::kHkeyCurrentConfig},
               {"HKDD", platform::kHkeyDynData},
               {"hkcr", platform::kHkeyClassesRoot},
               {"HKEY_LOCAL_MACHINE", kIniFile},
               {"HKEY_CURRENT_USER", 0},
               {"C:\\Tools\\settings.ini", kIniFile},
               {"settings.ini", kIniFile},
               {"C:\\Tools\\hidden.ini", 0},
               {"C:\\Tools", 0},
               {"C:\\Tools\\*.ini", 0},
               {"", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(fTopKey(c.name), c.expected);
  }
  EXPECT_THAT(machine.debugLines, IsEmpty());
}

TEST_F(RegistryTest, ViewRule) {
  struct Case {
    const char* path;
    const char* expectedPath;
    platform::Dword flag;
  } cases[] = {
      {"Software\\Tarnwick", "Software\\Tarnwick", platform::kKeyWow64_64Key},
      {"Software\\Wow6432Node\\Tarnwick", "software\\tarnwick", platform::kKeyWow64_32Key},
      {"SOFTWARE\\WOW6432NODE\\Wow6432Node\\X", "software\\x", platform::kKeyWow64_32Key},
      {"guest_1\\Software\\Wow6432Node\\X", "guest_1\\Software\\Wow6432Node\\X", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const KeyView view = ViewFor(c.path);
    EXPECT_EQ(view.path, c.expectedPath);
    EXPECT_EQ(view.flag, c.flag);
  }
  // The environment does not decide the view: a user's ProgramFiles(x86) of one character (or
  // none) leaves the 64-bit view rule in force; only 32-bit Windows turns it off.
  machine.SetEnv("ProgramFiles(x86)", "C");
  EXPECT_TRUE(Is64bitEnv());
  EXPECT_EQ(ViewFor("Software\\Wow6432Node\\X").flag, platform::kKeyWow64_32Key);
  machine.UnsetEnv("ProgramFiles(x86)");
  EXPECT_EQ(ViewFor("Software\\Tarnwick").flag, platform::kKeyWow64_64Key);
  machine.is64BitWindows = false;
  EXPECT_FALSE(Is64bitEnv());
  EXPECT_EQ(ViewFor("Software\\Wow6432Node\\X").flag, 0U);
  EXPECT_EQ(ViewFor("Software\\Wow6432Node\\X").path, "Software\\Wow6432Node\\X");
}

}  // namespace
}  // namespace orvo::registry
