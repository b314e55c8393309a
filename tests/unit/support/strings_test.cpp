// The diagnostic log, AppPath and the string helpers.
#include "support/strings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fake/FakeMachine.h"
#include "support/log.h"

namespace orvo::support {
namespace {

using fake::FakeMachine;
using ::testing::ElementsAre;

class CommonModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetState(); }
  void TearDown() override { ResetState(); }
  FakeMachine machine;
};

TEST_F(CommonModuleTest, DPrintPrefixesEveryValueWithATab) {
  DPrint("x");
  DPrint("a", "b");
  DPrint();
  DPrint(false);
  DPrint(true, 42, -7, std::string("s"));
  DPrint(std::uint32_t{4294967295U});
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tx", "\ta\tb", "", "\tFalse", "\tTrue\t42\t-7\ts", "\t4294967295"));
}

TEST_F(CommonModuleTest, CustomErrorAndInfoWriteTwoLines) {
  DPrintCustomError("During removal",
                    "Variable sTargetFileType is empty!  Aborting to avoid registry damage!");
  DPrintInfo("RemoveAll", "nothing to do");
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tDuring removal: Custom Error",
                          "\t\t- Variable sTargetFileType is empty!  Aborting to avoid registry "
                          "damage!",
                          "\tRemoveAll: Info", "\t\t- nothing to do"));
}

TEST_F(CommonModuleTest, ErrorLineCarriesNumberAndPlatformText) {
  DPrintError("modRegistry\\fDeleteKey - VB ERROR: ", 5);
  DPrintError("CommonModule\\AppPath VB ERROR: ", 4242);  // a number without a text
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tmodRegistry\\fDeleteKey - VB ERROR: 5 Access is denied.",
                          "\tCommonModule\\AppPath VB ERROR: 4242 "));
}

TEST_F(CommonModuleTest, StripPath) {
  EXPECT_EQ(StripPath("C:\\Windows\\mmc.exe"), "mmc.exe");
  EXPECT_EQ(StripPath("mmc.exe"), "mmc.exe");
  EXPECT_EQ(StripPath("C:\\Windows\\"), "");
  EXPECT_EQ(StripPath(""), "");
}

TEST_F(CommonModuleTest, StripNameFromPath) {
  EXPECT_EQ(StripNameFromPath("C:\\Windows\\mmc.exe"), "C:\\Windows");
  EXPECT_EQ(StripNameFromPath("mmc.exe"), "");
  EXPECT_EQ(StripNameFromPathNoDebug(""), "");
  EXPECT_TRUE(machine.debugLines.empty());
  EXPECT_EQ(StripNameFromPath(""), "");
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tStripNameFromPath Function was passed an empty string!"));
}

TEST_F(CommonModuleTest, StripRemovesEveryOccurrenceAgainFromTheStart) {
  struct Case {
    const char* line;
    const char* remove;
    const char* expected;
  } cases[] = {
      {"\"C:\\a b\\x.exe\"", "\"", "C:\\a b\\x.exe"},
      {"aabb", "ab", ""},  // the removal brings a new occurrence together
      {"SOFTWARE\\Wow6432Node\\x", "wow6432node\\", "SOFTWARE\\Wow6432Node\\x"},  // case counts
      {"software\\wow6432node\\x", "wow6432node\\", "software\\x"},
      {"abc", "", "abc"},  // an empty removal string leaves the text as it is
      {"", "x", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.line) + " less " + c.remove);
    EXPECT_EQ(Strip(c.line, c.remove), c.expected);
  }
  EXPECT_EQ(Strip(std::string("a\0b\0", 4), std::string(1, '\0')), "ab");
}

TEST_F(CommonModuleTest, StripHandlesTextsBeyondSixteenBitPositions) {
  const std::string big = std::string(40000, 'x') + "\"" + std::string(40000, 'y') + "\"";
  EXPECT_EQ(Strip(big, "\""), std::string(40000, 'x') + std::string(40000, 'y'));
}

TEST_F(CommonModuleTest, StripEndOfString) {
  struct Case {
    const char* text;
    const char* delimiter;
    bool first, leading, trailing;
    const char* expected;
  } cases[] = {
      {"C:\\a\\b.exe", "\\", false, false, false, "C:\\a"},
      {"C:\\a\\b.exe", "\\", true, false, false, "C:"},
      {"cmd.exe", "\\", false, false, false, "cmd.exe"},
      {"  ab  |x", "|", true, false, false, "  ab  "},
      {"  ab  |x", "|", true, true, false, "ab  "},
      {"  ab  |x", "|", true, false, true, "  ab"},
      {"  ab  |x", "|", true, true, true, "ab"},
      {"a--b--c", "--", false, false, false, "a--b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(StripEndOfString(c.text, c.delimiter, c.first, c.leading, c.trailing), c.expected);
  }
}

TEST_F(CommonModuleTest, TrimmingRoutines) {
  EXPECT_EQ(StripTrailingCharacters("abc   ", " "), "abc");
  EXPECT_EQ(StripTrailingCharacters("   ", " "), "");
  EXPECT_EQ(StripTrailingCharacters("abc  ", "  "), "abc  ");  // two characters: nothing
  EXPECT_EQ(StripTrailingCharacters("C:\\x\\\\", "\\"), "C:\\x");
  EXPECT_EQ(StripTrailingCharacters("abc", ""), "abc");  // empty character: unchanged
  EXPECT_EQ(StripTrailingCharacters("", ""), "");
  EXPECT_EQ(StripPreceedingCharacters("   abc ", " "), "abc ");
  EXPECT_EQ(StripPreceedingCharacters("xxx", "x"), "");
  EXPECT_EQ(StripPreceedingCharacters("abc", ""), "abc");
  EXPECT_EQ(StripPreceedingCharacters("  abc", "  "), "  abc");
  EXPECT_TRUE(machine.debugLines.empty());
}

TEST_F(CommonModuleTest, VerboseTraceLinesOnlyWhenSwitchedOn) {
  StripPath("C:\\a\\b");
  EXPECT_TRUE(machine.debugLines.empty());
  bVerboseTrace = true;
  StripPath("C:\\a\\b");
  Strip("aXb", "X");
  StripEndOfString("a\\b", "\\", true, false, false);
  EXPECT_THAT(
      machine.debugLines,
      ElementsAre("\tCommonModule\\StripPath: ", "\t\t- Passed: C:\\a\\b", "\t\t- Returned: b",
                  "\tCommonModule\\Strip: ", "\t\t- Passed: aXb", "\t\t- Remove String: X",
                  "\t\t- Returned: ab", "\tCommonModule\\StripEndOfString: ", "\t\t- Passed: a\\b",
                  "\t\t- Delimeter: \\", "\t\t- bUseFirstDelimiter=True", "\t\t- Returned: a"));
  machine.debugLines.clear();
  StripTrailingCharacters("ab ", " ");
  StripPreceedingCharacters(" ab", " ");
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tCommonModule\\StripTrailingCharacters: ", "\t\t- Passed: ab ",
                          "\t\t- sTrailingCharacter:  ", "\t\t- Returned: ab",
                          "\tCommonModule\\StripPreceedingCharacters: ", "\t\t- Passed:  ab",
                          "\t\t- sCharacter:  ", "\t\t- Returned: ab"));
}

}  // namespace
}  // namespace orvo::support
