// The win32 backend's own path and text conversion (Wine accepts over-long plain paths, so the
// file cases alone would not show a missing "\\?\" prefix).
#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/win32/support.h"

namespace orvo::platform::win32 {
namespace {

TEST(Win32Path, OnlyLongAbsolutePathsGetTheLongPathPrefix) {
  const std::string deep = std::string(120, 'a') + "\\" + std::string(120, 'b') + "\\c.txt";
  const std::wstring wideDeep = Widen(deep);
  const struct {
    const char* name;
    std::string path;
    std::wstring expected;
  } rows[] = {
      {"short path unchanged", "C:\\Tools\\x.txt", L"C:\\Tools\\x.txt"},
      {"long drive path", "C:\\" + deep, L"\\\\?\\C:\\" + wideDeep},
      {"long drive path normalised first", "C:/skip/../" + deep, L"\\\\?\\C:\\" + wideDeep},
      {"long UNC path", "\\\\server\\share\\" + deep, L"\\\\?\\UNC\\server\\share\\" + wideDeep},
      {"already prefixed", "\\\\?\\C:\\" + deep, L"\\\\?\\C:\\" + wideDeep},
      {"long relative path unchanged", deep, wideDeep},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Win32Path(row.path), row.expected);
  }
}

// The backend converts with the program's one converter (its table test is a unit test): a
// name Windows hands out with a lone surrogate comes back as the same units.
TEST(Win32Text, Utf8AndUtf16RoundTripAndBadBytesBecomeReplacementCharacters) {
  const std::string text = "Z\xC3\xBCrich \xE2\x9C\x93 \xF0\x9F\x93\x81";
  EXPECT_EQ(Widen(text), L"Z\u00FCrich \u2713 \U0001F4C1");
  EXPECT_EQ(Narrow(Widen(text)), text);
  EXPECT_EQ(Widen("a\xFF"
                  "b"),
            L"a\uFFFDb");
  EXPECT_EQ(Narrow(std::wstring(1, wchar_t(0xD800))), "\xED\xA0\x80");
  EXPECT_EQ(Widen(Narrow(std::wstring(1, wchar_t(0xDC01)))), std::wstring(1, wchar_t(0xDC01)));
  EXPECT_EQ(Widen(""), L"");
}

// The seam's root-key values are the handles Windows defines, sign extension included, so a
// handle the system's code names reaches the API unchanged.
TEST(Win32Handles, PredefinedKeysAreTheHandlesWindowsDefines) {
  EXPECT_EQ(kHkeyClassesRoot, ToHandle(HKEY_CLASSES_ROOT));
  EXPECT_EQ(kHkeyCurrentUser, ToHandle(HKEY_CURRENT_USER));
  EXPECT_EQ(kHkeyLocalMachine, ToHandle(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(kHkeyUsers, ToHandle(HKEY_USERS));
  EXPECT_EQ(kHkeyCurrentConfig, ToHandle(HKEY_CURRENT_CONFIG));
  EXPECT_EQ(kHkeyDynData, ToHandle(HKEY_DYN_DATA));
}

}  // namespace
}  // namespace orvo::platform::win32
