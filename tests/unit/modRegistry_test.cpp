// Registry values, the view rule, INI mode and the deletion ladder.
#include "registry/modRegistry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fs/CommonModule.h"
#include "platform/fake/FakeMachine.h"
#include "support/Utf16.h"

namespace orvo::modRegistry {
namespace {

using fake::FakeMachine;
using fake::StartedProgram;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::vector<std::uint8_t> Bytes(const std::string& utf8) { return ToUtf16Bytes(utf8); }
std::vector<std::uint8_t> Dword(std::uint32_t n) {
  return {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
          static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
}
std::string N(std::size_t n = 1) { return std::string(n, '\0'); }

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { CommonModule::ResetFsState(); }
  // Debug lines that mention this text.
  std::vector<std::string> LinesWith(const std::string& text) const {
    std::vector<std::string> out;
    for (const auto& line : machine.debugLines) {
      if (line.find(text) != std::string::npos) out.push_back(line);
    }
    return out;
  }
  FakeMachine machine;
};

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
  machine.SetEnv("ProgramFiles(x86)", "C");  // one character: not 64-bit Windows
  EXPECT_FALSE(Is64bitEnv());
  EXPECT_EQ(ViewFor("Software\\Wow6432Node\\X").flag, 0U);
  EXPECT_EQ(ViewFor("Software\\Wow6432Node\\X").path, "Software\\Wow6432Node\\X");
}

TEST_F(RegistryTest, ReadValueTypesAndLog) {
  machine.AddKey("HKLM\\Software\\Tarnwick");
  machine.SetStringValue("HKLM\\Software\\Tarnwick", "withNul", "abc");
  machine.SetStringValue("HKLM\\Software\\Tarnwick", "noNul", "abc", platform::kRegSz, false);
  machine.SetStringValue("HKLM\\Software\\Tarnwick", "empty", "", platform::kRegSz, false);
  machine.SetValue("HKLM\\Software\\Tarnwick", "list", platform::kRegMultiSz,
                   Bytes("a" + N() + "b" + N(2)));
  machine.SetDwordValue("HKLM\\Software\\Tarnwick", "minus", 0xFFFFFFFF);
  machine.SetValue("HKLM\\Software\\Tarnwick", "flag", platform::kRegBinary, {0, 1});
  machine.SetValue("HKLM\\Software\\Tarnwick", "off", platform::kRegBinary, {0, 0});
  machine.SetStringValue("HKLM\\Software\\Tarnwick", "", "default text");
  struct Case {
    const char* name;
    const char* type;
    Value expected;
  } cases[] = {
      {"withNul", "S", std::string("abc")},
      {"noNul", "s", std::string("abc")},  // no terminator: nothing is cut
      {"empty", "S", std::string()},
      {"", "S", std::string("default text")},
      {"list", "M", std::string("a" + N() + "b" + N())},
      {"minus", "D", std::int32_t{-1}},
      {"flag", "B", true},
      {"off", "B", false},
      {"withNul", "E", std::string("dflt")},  // "E" reads nothing
      {"withNul", "Q", std::string("dflt")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "/" + c.type);
    machine.debugLines.clear();
    Value v;
    EXPECT_EQ(fReadValue("HKLM", "Software\\Tarnwick", c.name, c.type, std::string("dflt"), v), 0);
    EXPECT_EQ(v, c.expected);
    EXPECT_THAT(machine.debugLines, ElementsAre("\tmodRegistry\\fReadValue: ",
                                                "\t\t- Passed Key: HKLM\\Software\\Tarnwick",
                                                "\t\t- Passed Value: " + std::string(c.name),
                                                "\t\t- Returned Value: " + ValueText(c.expected),
                                                "\t\t- lResult (0 is successful): 0"));
  }
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
}

TEST_F(RegistryTest, ReadValueFailuresWriteNoLine) {
  machine.AddKey("HKLM\\Software\\Tarnwick");
  machine.SetStringValue("HKLM\\Software\\Tarnwick", "text", "a long text");
  Value v;
  EXPECT_EQ(fReadValue("HKEY_LOCAL_MACHINE", "Software\\Tarnwick", "x", "S", std::string("d"), v),
            kNotCalled);
  EXPECT_EQ(v, Value(std::string("d")));
  EXPECT_EQ(fReadValue("HKLM", "Software\\Tarnwick", "missing", "S", std::string(), v), 2);
  EXPECT_EQ(v, Value(std::string()));
  EXPECT_EQ(fReadValue("HKLM", "Software\\Missing", "x", "D", std::int32_t{7}, v), 2);
  EXPECT_EQ(v, Value(std::int32_t{7}));
  // Ten bytes of text do not fit the four bytes of a number.
  EXPECT_EQ(fReadValue("HKLM", "Software\\Tarnwick", "text", "D", std::int32_t{0}, v),
            static_cast<std::int32_t>(platform::kErrorMoreData));
  EXPECT_THAT(machine.debugLines, IsEmpty());
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
}

TEST_F(RegistryTest, ReadValueUsesTheViewRule) {
  machine.AddKey("HKLM\\Software\\Tarnwick");
  machine.AddKey("HKLM\\Software\\Wow6432Node\\Tarnwick");
  machine.SetStringValue("HKLM\\Software\\Tarnwick", "bits", "64");
  machine.SetStringValue("HKLM\\Software\\Wow6432Node\\Tarnwick", "bits", "32");
  Value v;
  EXPECT_EQ(fReadValue("HKLM", "Software\\Tarnwick", "bits", "S", std::string(), v), 0);
  EXPECT_EQ(v, Value(std::string("64")));
  EXPECT_EQ(fReadValue("HKLM", "Software\\Wow6432Node\\Tarnwick", "bits", "S", std::string(), v),
            0);
  EXPECT_EQ(v, Value(std::string("32")));
  EXPECT_THAT(LinesWith("Passed Key"), ElementsAre("\t\t- Passed Key: HKLM\\Software\\Tarnwick",
                                                   "\t\t- Passed Key: HKLM\\software\\tarnwick"));
  EXPECT_THAT(machine.calls, Contains(HasSubstr("0x101)")));
  EXPECT_THAT(machine.calls, Contains(HasSubstr("0x201)")));
}

TEST_F(RegistryTest, WriteValueTypes) {
  machine.AddKey("HKLM\\Software\\Tarnwick");
  machine.SetValue("HKLM\\Software\\Tarnwick", "list", platform::kRegMultiSz,
                   Bytes("a" + N() + "b" + N(2)));
  struct Case {
    const char* name;
    const char* type;
    Value value;
    platform::Dword storedType;
    std::vector<std::uint8_t> stored;
  } cases[] = {
      {"one", "D", std::int32_t{1}, platform::kRegDword, Dword(1)},
      {"minus", "D", std::int32_t{-1}, platform::kRegDword, Dword(0xFFFFFFFF)},
      {"text", "D", std::string(" 12 "), platform::kRegDword, Dword(12)},
      {"true", "D", true, platform::kRegDword, Dword(0xFFFFFFFF)},
      {"abc", "S", std::string("abc"), platform::kRegSz, Bytes("abc" + N())},
      {"path", "e", std::string("%SystemRoot%\\x"), platform::kRegExpandSz,
       Bytes("%SystemRoot%\\x" + N())},
      {"number", "S", std::int32_t{42}, platform::kRegSz, Bytes("42" + N())},
      {"fresh", "M", std::string("x"), platform::kRegMultiSz, Bytes("x" + N(2))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(fWriteValue("HKLM", "Software\\Tarnwick\\New", c.name, c.type, c.value), 0);
    const auto stored = machine.GetValue("HKLM\\Software\\Tarnwick\\New", c.name);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->type, c.storedType);
    EXPECT_EQ(stored->data, c.stored);
  }
  // A list is appended to where it already is.
  EXPECT_EQ(fWriteValue("HKLM", "Software\\Tarnwick", "list", "M", std::string("x")), 0);
  EXPECT_EQ(machine.GetValue("HKLM\\Software\\Tarnwick", "list")->data,
            Bytes("a" + N() + "b" + N() + "x" + N(2)));
  // Writes go to the 64-bit view.
  EXPECT_FALSE(machine.KeyExists("HKLM\\Software\\Wow6432Node\\Tarnwick\\New"));
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
}

TEST_F(RegistryTest, WriteValueEdgeCases) {
  // "B" creates the key and stores nothing.
  EXPECT_EQ(fWriteValue("HKLM", "Software\\Tarnwick", "b", "B", true), 0);
  EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick"));
  EXPECT_FALSE(machine.GetValue("HKLM\\Software\\Tarnwick", "b").has_value());
  EXPECT_THAT(machine.debugLines, IsEmpty());

  // A number outside 16 bits: the error block, nothing stored, the create call's 0.
  EXPECT_EQ(fWriteValue("HKLM", "Software\\Tarnwick", "big", "D", std::int32_t{40000}), 0);
  EXPECT_FALSE(machine.GetValue("HKLM\\Software\\Tarnwick", "big").has_value());
  EXPECT_THAT(machine.debugLines,
              ElementsAre(HasSubstr("\tmodRegistry\\fWriteValue - VB ERROR: 534 "),
                          "\t\t- Passed Key: HKLM\\Software\\Tarnwick", "\t\t- Passed Value: big",
                          "\t\t- lResult (0 is successful): 0"));
  machine.debugLines.clear();

  // An unknown top key writes the error block even without a pending error.
  EXPECT_EQ(fWriteValue("HKEY_LOCAL_MACHINE", "Software", "x", "S", std::string("v")), kNotCalled);
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tmodRegistry\\fWriteValue - VB ERROR: 0 ",
                          "\t\t- Passed Key: HKEY_LOCAL_MACHINE\\Software", "\t\t- Passed Value: x",
                          "\t\t- lResult (0 is successful): 99"));
  machine.debugLines.clear();

  // A refused set: four lines and its code.
  machine.FailCall("RegSetValueExW", "", platform::kErrorAccessDenied);
  EXPECT_EQ(fWriteValue("HKLM", "Software\\Tarnwick", "s", "S", std::string("v")), 5);
  EXPECT_THAT(
      machine.debugLines,
      ElementsAre("\tmodRegistry\\fWriteValue: ", "\t\t- Passed Key: HKLM\\Software\\Tarnwick",
                  "\t\t- Passed Value: s", "\t\t- lResult (0 is successful): 5"));
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
}

TEST_F(RegistryTest, IniMode) {
  machine.AddFile("C:\\Tools\\orvo.ini", platform::kFileAttributeArchive,
                  "[ShellExtensions]\r\nCopyPath=1\r\nLabel=Copy path\r\n");
  Value v;
  EXPECT_EQ(fReadValue("C:\\Tools\\orvo.ini", "ShellExtensions", "Label", "S", std::string(), v),
            0);
  EXPECT_EQ(v, Value(std::string("Copy path")));
  EXPECT_EQ(
      fReadValue("C:\\Tools\\orvo.ini", "ShellExtensions", "CopyPath", "D", std::int32_t{5}, v), 0);
  EXPECT_EQ(v, Value(std::int32_t{1}));
  EXPECT_EQ(fReadValue("C:\\Tools\\orvo.ini", "ShellExtensions", "Missing", "S",
                       std::string("fallback"), v),
            0);
  EXPECT_EQ(v, Value(std::string("fallback")));

  EXPECT_EQ(fWriteValue("C:\\Tools\\orvo.ini", "ShellExtensions", "New", "S", std::int32_t{3}), 0);
  EXPECT_EQ(fReadValue("C:\\Tools\\orvo.ini", "ShellExtensions", "New", "S", std::string(), v), 0);
  EXPECT_EQ(v, Value(std::string("3")));
  EXPECT_EQ(fWriteValue("C:\\Tools\\orvo.ini", "ShellExtensions", "New", "D", std::int32_t{3}),
            kNotCalled);

  std::string section;
  EXPECT_EQ(fEnumValue2("C:\\Tools\\orvo.ini", "ShellExtensions", section), 0);
  ASSERT_EQ(section.size(), 8192U);
  const std::string lines = "CopyPath=1" + N() + "Label=Copy path" + N() + "New=3" + N(2);
  EXPECT_EQ(section.substr(0, lines.size()), lines);
  EXPECT_EQ(section.substr(lines.size()).find_first_not_of(' '), std::string::npos);

  bool notFound = false;
  EXPECT_EQ(fDeleteValue("C:\\Tools\\orvo.ini", "ShellExtensions", "Label", notFound), 0);
  EXPECT_FALSE(notFound);
  EXPECT_EQ(
      fReadValue("C:\\Tools\\orvo.ini", "ShellExtensions", "Label", "S", std::string("gone?"), v),
      0);
  EXPECT_EQ(v, Value(std::string()));  // the key stays with an empty value
  EXPECT_THAT(machine.debugLines, Contains("\t\t- lResult (0=Success 2=Not Found): 1"));
}

TEST_F(RegistryTest, EnumValues) {
  machine.AddKey("HKLM\\Software\\Tarnwick\\Empty");
  machine.AddKey("HKLM\\Software\\Tarnwick\\Full");
  machine.SetStringValue("HKLM\\Software\\Tarnwick\\Full", "a", "x");
  machine.SetDwordValue("HKLM\\Software\\Tarnwick\\Full", "n", 5);
  machine.SetValue("HKLM\\Software\\Tarnwick\\Full", "list", platform::kRegMultiSz,
                   Bytes("m" + N(2)));
  machine.SetStringValue("HKLM\\Software\\Tarnwick\\Full", "exp", "e", platform::kRegExpandSz);
  machine.SetValue("HKLM\\Software\\Tarnwick\\Full", "bin", platform::kRegBinary, {1, 1});
  machine.SetValue("HKLM\\Software\\Tarnwick\\Full", "blob", platform::kRegBinary, {1, 2, 3});

  std::string result;
  EXPECT_EQ(fEnumValue2("HKLM", "Software\\Tarnwick\\Empty", result), 0);
  EXPECT_EQ(result, N(2));
  result.clear();
  machine.debugLines.clear();
  EXPECT_EQ(fEnumValue2("HKLM", "Software\\Tarnwick\\Full", result), 0);
  EXPECT_EQ(result, "a=x" + N() + "n=5" + N() + "bin=257" + N(2));
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tmodRegistry\\fEnumValue2: ",
                          "\t\t- Passed Key: HKLM\\Software\\Tarnwick\\Full",
                          "\t\t- Returned String:  (where | = vbNullChar)\t  a=x|n=5|bin=257||",
                          "\t\t- lResult (0 is successful): 0"));

  result = "kept";
  machine.debugLines.clear();
  EXPECT_EQ(fEnumValue2("HKLM", "Software\\Tarnwick\\Missing", result), 2);
  EXPECT_EQ(result, "kept" + N());
  EXPECT_THAT(machine.debugLines, IsEmpty());
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
}

// The deletion ladder.
class DeleteKeyTest : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    for (const char* key :
         {"HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions\\Installed",
          "HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions\\DefaultBackups",
          "HKLM\\Software\\Tarnwick\\Updater", "HKLM\\Software\\TarnwickOther\\Keep",
          "HKLM\\Software\\Tarnwick2", "HKLM\\Software\\Wow6432Node\\Tarnwick\\Orvo"}) {
      machine.AddKey(key);
    }
    machine.SetStringValue("HKLM\\Software\\Tarnwick\\Orvo", "Version", "3.1");
    machine.AddFile("C:\\windows\\system32\\reg.exe");  // the native tool (through Sysnative)
    machine.InstallProgram("C:\\windows\\system32\\reg.exe");
  }
  void ExpectDecoysKept() {
    EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\TarnwickOther\\Keep"));
    EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick2"));
    EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Wow6432Node\\Tarnwick\\Orvo"));
  }
};

TEST_F(DeleteKeyTest, SubtreeGoesDeepestFirst) {
  // A key nobody may use, owned by the administrators as an install leaves it.
  machine.AddKey("HKLM\\Software\\Tarnwick\\Locked\\Inner");
  machine.KeySecurity("HKLM\\Software\\Tarnwick\\Locked")->dacl = platform::Acl{};
  machine.KeySecurity("HKLM\\Software\\Tarnwick\\Locked")->owner = platform::kSidAdministrators;
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 0);
  EXPECT_FALSE(notFound);
  EXPECT_FALSE(machine.KeyExists("HKLM\\Software\\Tarnwick"));
  ExpectDecoysKept();
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
  EXPECT_TRUE(machine.started.empty());

  std::vector<std::string> deletes;
  for (const auto& call : machine.calls) {
    if (call.rfind("RegDeleteKeyExW", 0) == 0) deletes.push_back(call);
  }
  EXPECT_THAT(deletes,
              ElementsAre(HasSubstr("Shell Extensions\\Installed, 0x100"),
                          HasSubstr("Shell Extensions\\DefaultBackups, 0x100"),
                          HasSubstr("Orvo\\Shell Extensions, 0x100"),
                          HasSubstr("Tarnwick\\Orvo, 0x100"), HasSubstr("Tarnwick\\Updater, 0x100"),
                          HasSubstr("Locked\\Inner, 0x100"), HasSubstr("Tarnwick\\Locked, 0x100"),
                          "RegDeleteKeyExW(HKLM\\Software\\Tarnwick, 0x100)"));
  EXPECT_THAT(LinesWith("fDeleteKey"), ElementsAre("\tmodRegistry\\fDeleteKey: "));
  EXPECT_EQ(machine.debugLines.back(), "\t\t- lResult: 0 SUCCESS");
  EXPECT_THAT(machine.debugLines,
              Contains("\tmodRegistry\\fDeleteSubkeys passed: HKLM\\Software\\Tarnwick\\Locked"));
}

TEST_F(DeleteKeyTest, MissingKeyIsSuccessAndNotFound) {
  machine.DeleteKeyTree("HKLM\\Software\\Tarnwick");
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 0);
  EXPECT_TRUE(notFound);
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tmodRegistry\\fDeleteSubkeys passed: HKLM\\Software\\Tarnwick",
                          "\tmodRegistry\\fDeleteSubkeys: Error opening key: Software\\Tarnwick",
                          "\tmodRegistry\\fDeleteKey: ", "\t\t- Key: HKLM\\Software\\Tarnwick",
                          "\t\t- lResult: 2 NOT FOUND"));
  // A missing parent is the same ordinary outcome.
  notFound = false;
  machine.debugLines.clear();
  EXPECT_EQ(fDeleteKey("HKLM", "Software\\Nowhere", "Tarnwick", notFound), 0);
  EXPECT_TRUE(notFound);
  EXPECT_EQ(machine.debugLines.back(), "\t\t- lResult: 2 NOT FOUND");
  ExpectDecoysKept();
}

TEST_F(DeleteKeyTest, UnknownTopKeyDoesNothing) {
  bool notFound = false;
  machine.calls.clear();
  EXPECT_EQ(fDeleteKey("HKEY_LOCAL_MACHINE", "Software", "Tarnwick", notFound), kNotCalled);
  EXPECT_FALSE(notFound);
  EXPECT_THAT(machine.debugLines, ElementsAre("\tmodRegistry\\fDeleteKey - VB ERROR: 0 ",
                                              "\t\t- Key: HKEY_LOCAL_MACHINE\\Software\\Tarnwick",
                                              "\t\t- lResult (0=Success 2=Not Found): 99"));
  EXPECT_THAT(machine.calls, Not(Contains(HasSubstr("Reg"))));
  EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick"));
}

// A computed key name that came out empty must never take its parent's subtree with it.
TEST_F(DeleteKeyTest, EmptyOrBlankNameDeletesNothing) {
  for (const char* name : {"", " ", "\\", "\\\\", " \\ ", "\t"}) {
    SCOPED_TRACE(std::string("name '") + name + "'");
    machine.debugLines.clear();
    machine.calls.clear();
    bool notFound = false;
    EXPECT_EQ(fDeleteKey("HKLM", "Software\\Tarnwick", name, notFound), 87);
    EXPECT_FALSE(notFound);
    EXPECT_THAT(machine.calls, Not(Contains(HasSubstr("Reg"))));
    EXPECT_TRUE(machine.started.empty());
    ASSERT_EQ(machine.debugLines.size(), 3U);
    EXPECT_EQ(machine.debugLines[0], "\tmodRegistry\\fDeleteKey - Error:  87");
    EXPECT_EQ(machine.debugLines[2], "\t\t- No key name given: nothing is deleted");
  }
  // The parent is below the root: an empty path there names the root itself.
  machine.debugLines.clear();
  fDeleteSubkeys(platform::kHkeyLocalMachine, "", "HKLM");
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tmodRegistry\\fDeleteSubkeys passed: HKLM\\",
                          "\tmodRegistry\\fDeleteSubkeys: No key path given: nothing is deleted"));
  EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions\\Installed"));
  EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick\\Updater"));
  ExpectDecoysKept();
}

// The ladder widens a key's access list to delete it; a key that stays gets its own list
// back, exactly as it was: a refused key and a refused child, and the key of a value.
TEST_F(DeleteKeyTest, AKeyThatStaysGetsItsAccessListBackExactly) {
  const platform::Sid carol{"S-1-5-21-1-2-3-1003"};
  const platform::Acl narrow{
      {platform::Ace{0, 0, 0x20019, carol}, platform::Ace{0, 0, 0x20019, platform::kSidUsers}}};
  const std::string key = "HKLM\\Software\\Tarnwick";
  const std::string child = "HKLM\\Software\\Tarnwick\\Updater";
  const std::string valueKey = "HKLM\\Software\\Tarnwick2";
  for (const std::string& path : {key, child, valueKey}) {
    // Owned by the administrators, as an install leaves a key: the elevated process may
    // rewrite the list although the list itself grants it nothing.
    machine.KeySecurity(path)->owner = platform::kSidAdministrators;
    machine.KeySecurity(path)->dacl = narrow;
    machine.KeySecurity(path)->control |= platform::kSeDaclProtected;
  }
  const platform::SecurityDescriptor keyBefore = *machine.KeySecurity(key);
  const platform::SecurityDescriptor childBefore = *machine.KeySecurity(child);
  machine.FailCall("RegDeleteKeyExW", key, platform::kErrorAccessDenied);
  machine.FailCall("RegDeleteKeyExW", child, platform::kErrorAccessDenied);
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  ASSERT_TRUE(machine.KeyExists(key));
  ASSERT_TRUE(machine.KeyExists(child));
  EXPECT_EQ(machine.KeySecurity(key)->dacl, keyBefore.dacl);
  EXPECT_EQ(machine.KeySecurity(key)->control, keyBefore.control);
  EXPECT_EQ(machine.KeySecurity(child)->dacl, childBefore.dacl);
  EXPECT_FALSE(machine.KeyExists("HKLM\\Software\\Tarnwick\\Orvo"));

  // A value deleted after the permission change (the list refuses the first try): its key
  // keeps the list it had.
  machine.SetStringValue(valueKey, "Pinned", "x");
  const platform::SecurityDescriptor valueKeyBefore = *machine.KeySecurity(valueKey);
  EXPECT_EQ(fDeleteValue("HKLM", "Software\\Tarnwick2", "Pinned", notFound), 0);
  EXPECT_FALSE(machine.GetValue(valueKey, "Pinned").has_value());
  EXPECT_EQ(machine.KeySecurity(valueKey)->dacl, valueKeyBefore.dacl);
  EXPECT_EQ(machine.KeySecurity(valueKey)->control, valueKeyBefore.control);
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
}

// SystemRoot and windir are the user's to set (HKCU\Environment): tools are looked for and
// started in the folders the system names, never in a folder the environment points at.
TEST_F(DeleteKeyTest, ToolsComeFromTheSystemFoldersNotTheEnvironment) {
  const std::string planted = "C:\\users\\root\\Downloads\\win";
  for (const char* tool : {"\\subinacl.exe", "\\System32\\subinacl.exe", "\\Sysnative\\reg.exe",
                           "\\System32\\reg.exe"}) {
    machine.AddFile(planted + tool);
    machine.InstallProgram(planted + tool);
  }
  machine.SetEnv("SystemRoot", planted);
  machine.SetEnv("windir", planted);
  // The 32-bit program's System32 (SysWOW64) holds the real one.
  machine.AddFile("C:\\windows\\syswow64\\subinacl.exe");
  machine.InstallProgram("C:\\windows\\syswow64\\subinacl.exe");
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied);
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  std::vector<std::string> commands;
  for (const auto& run : machine.started)
    commands.push_back(run.commandLine + run.file + " -> " + run.resolvedPath);
  EXPECT_THAT(commands, ::testing::Each(Not(HasSubstr("Downloads"))));
  EXPECT_THAT(commands, ElementsAre(HasSubstr("C:\\windows\\System32\\subinacl.exe"),
                                    HasSubstr("C:\\windows\\System32\\subinacl.exe"),
                                    HasSubstr("C:\\windows\\Sysnative\\reg.exe")));
}

// Putting the list back is reported when it is refused.
TEST_F(DeleteKeyTest, ARefusedRestoreIsLogged) {
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied);
  machine.FailCall("RegSetKeySecurity", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied,
                   5);
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  EXPECT_THAT(machine.debugLines,
              Contains(HasSubstr("SetPerm\\RestoreRegKeyDacl - the key's access list could not "
                                 "be written back: 5")));
}

TEST_F(DeleteKeyTest, RefusedTwiceEndsWithRegExeByFullPathInTheSameView) {
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied);
  // reg.exe removes the key; the result still reports the refused delete.
  machine.InstallProgram("C:\\windows\\system32\\reg.exe",
                         [](FakeMachine& m, const StartedProgram&) {
                           m.DeleteKeyTree("HKLM\\Software\\Tarnwick");
                           return platform::Dword{0};
                         });
  // Copies beside the program and in the current folder must never run.
  machine.currentFolder = "C:\\Users\\root\\Downloads";
  machine.AddFile("C:\\Tools\\reg.exe");
  machine.AddFile("C:\\Users\\root\\Downloads\\reg.exe");
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  EXPECT_FALSE(notFound);
  EXPECT_FALSE(machine.KeyExists("HKLM\\Software\\Tarnwick"));
  ExpectDecoysKept();

  ASSERT_EQ(machine.started.size(), 1U);
  EXPECT_EQ(machine.started[0].file, "C:\\windows\\Sysnative\\reg.exe");
  EXPECT_EQ(machine.started[0].parameters, "DELETE \"HKLM\\Software\\Tarnwick\" /f /reg:64");
  EXPECT_EQ(machine.started[0].show, 0U);
  EXPECT_EQ(fake::Lower(machine.started[0].resolvedPath), "c:\\windows\\system32\\reg.exe");
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);

  EXPECT_THAT(
      LinesWith("fDeleteKey"),
      ElementsAre("\tmodRegistry\\fDeleteKey - Error:  5", "\tmodRegistry\\fDeleteKey - Error:  5",
                  "\tmodRegistry\\fDeleteKey:  Still not working, attempting deletion with "
                  "reg.exe",
                  "\tmodRegistry\\fDeleteKey: "));
  EXPECT_THAT(LinesWith("\t\tKey:  "), ElementsAre("\t\tKey:  HKLM\\Software\\Tarnwick",
                                                   "\t\tKey:  HKLM\\Software\\Tarnwick"));
  EXPECT_THAT(LinesWith("second run"),
              ElementsAre("\t\t- Attempting second run using subinacl..."));
  EXPECT_THAT(LinesWith("cmd:"),
              ElementsAre("\t\tcmd:  reg.exe delete \"HKLM\\Software\\Tarnwick\" /f /reg:64"));
  EXPECT_EQ(machine.debugLines.back(), "\t\t- lResult (0=Success 2=Not Found): 5");
}

TEST_F(DeleteKeyTest, SecondRunTakesOwnershipWithSubinacl) {
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied, 1);
  machine.AddFile("C:\\Tools\\subinacl.exe");
  machine.AddFile("C:\\windows\\syswow64\\subinacl.exe");  // System32 as the program sees it
  machine.InstallProgram("C:\\Tools\\subinacl.exe");
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 0);
  EXPECT_FALSE(machine.KeyExists("HKLM\\Software\\Tarnwick"));
  std::vector<std::string> commands;
  for (const auto& s : machine.started) commands.push_back(s.commandLine);
  EXPECT_THAT(commands,
              ElementsAre("\"C:\\Tools\\subinacl.exe\" /keyreg "
                          "\"HKEY_LOCAL_MACHINE\\Software\\Tarnwick\" /setowner=administrators "
                          "/grant=root=f",
                          "\"C:\\Tools\\subinacl.exe\" /subkeyreg "
                          "\"HKEY_LOCAL_MACHINE\\Software\\Tarnwick\" /setowner=administrators "
                          "/grant=root=f"));
  EXPECT_EQ(machine.started[0].show, 1U);
  EXPECT_EQ(machine.debugLines.back(), "\t\t- lResult: 0 SUCCESS");
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);
}

TEST_F(DeleteKeyTest, RefusedEvenAfterSubinaclEndsWithRegExe) {
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied);
  machine.AddFile("C:\\Tools\\subinacl.exe");
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  std::vector<std::string> programs;
  for (const auto& s : machine.started) programs.push_back(fake::Lower(s.resolvedPath));
  EXPECT_THAT(programs, ElementsAre("c:\\tools\\subinacl.exe", "c:\\tools\\subinacl.exe",
                                    "c:\\windows\\system32\\reg.exe"));
  EXPECT_THAT(LinesWith("cmd:"),
              ElementsAre("\t\tcmd:  reg.exe delete \"HKLM\\Software\\Tarnwick\" /f /reg:64"));
  // The subtree went on the first attempt; only the refused key itself is left.
  EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick"));
  EXPECT_TRUE(machine.SubkeyNames("HKLM\\Software\\Tarnwick").empty());
  ExpectDecoysKept();
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);
}

TEST_F(DeleteKeyTest, Wow6432NodeKeyIsDeletedInThe32BitViewOnly) {
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Wow6432Node\\Tarnwick",
                   platform::kErrorAccessDenied);
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software\\Wow6432Node", "Tarnwick", notFound), 5);
  // The subtree went in the 32-bit view; the 64-bit key was never touched.
  EXPECT_FALSE(machine.KeyExists("HKLM\\Software\\Wow6432Node\\Tarnwick\\Orvo"));
  EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions\\Installed"));
  ASSERT_EQ(machine.started.size(), 1U);
  EXPECT_EQ(machine.started[0].parameters,
            "DELETE \"HKLM\\software\\wow6432node\\Tarnwick\" /f /reg:32");
}

TEST_F(DeleteKeyTest, MissingRegExeSkipsTheLastStep) {
  machine.FailCall("RegDeleteKeyExW", "HKLM\\Software\\Tarnwick", platform::kErrorAccessDenied);
  machine.is64BitWindows = false;  // 32-bit Windows: the tool lives in System32
  machine.UnsetEnv("ProgramFiles(x86)");
  bool notFound = false;
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  ASSERT_EQ(machine.started.size(), 1U);
  EXPECT_EQ(machine.started[0].file, "C:\\windows\\System32\\reg.exe");
  EXPECT_EQ(machine.started[0].parameters, "DELETE \"HKLM\\Software\\Tarnwick\" /f");

  machine.started.clear();
  machine.DeleteKeyTree("HKLM\\Software\\Tarnwick");
  machine.AddKey("HKLM\\Software\\Tarnwick");
  ASSERT_TRUE(machine.DeleteFileW("C:\\windows\\system32\\reg.exe"));
  machine.boxes.clear();
  EXPECT_EQ(fDeleteKey("HKLM", "Software", "Tarnwick", notFound), 5);
  EXPECT_TRUE(machine.started.empty());
  EXPECT_TRUE(machine.boxes.empty());  // no prompt for a missing tool
  EXPECT_THAT(machine.debugLines,
              Contains("\t\t- reg.exe not found, skipped: C:\\windows\\System32\\reg.exe"));
}

TEST_F(DeleteKeyTest, DeleteValue) {
  bool notFound = false;
  EXPECT_EQ(fDeleteValue("HKLM", "Software\\Tarnwick\\Orvo", "Version", notFound), 0);
  EXPECT_FALSE(notFound);
  EXPECT_FALSE(machine.GetValue("HKLM\\Software\\Tarnwick\\Orvo", "Version").has_value());
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tmodRegistry\\fDeleteValue:",
                          "\t\t- Passed Key: HKLM\\Software\\Tarnwick\\Orvo",
                          "\t\t- Passed Value: Version", "\t\t- lResult: 0 SUCCESS"));
  machine.debugLines.clear();
  EXPECT_EQ(fDeleteValue("HKLM", "Software\\Tarnwick\\Orvo", "Version", notFound), 0);
  EXPECT_TRUE(notFound);
  EXPECT_EQ(machine.debugLines.back(), "\t\t- lResult: 2 NOT FOUND");
  EXPECT_THAT(machine.calls, Not(Contains(HasSubstr("RegSetKeySecurity"))));  // no retry
}

TEST_F(DeleteKeyTest, DeleteValueRetriesOnce) {
  machine.SetStringValue("HKLM\\Software\\Tarnwick\\Orvo", "Pinned", "x");
  machine.FailCall("RegDeleteValueW", "HKLM\\Software\\Tarnwick\\Orvo",
                   platform::kErrorAccessDenied);
  machine.AddFile("C:\\Tools\\subinacl.exe");
  machine.SetEnv("COMPUTERNAME", "VM");
  machine.SetEnv("USERNAME", "John Smith");  // a blank in an argument keeps it one argument
  bool notFound = false;
  EXPECT_EQ(fDeleteValue("HKLM", "Software\\Tarnwick\\Orvo", "Pinned", notFound), 5);
  std::vector<std::string> commands;
  for (const auto& s : machine.started) commands.push_back(s.commandLine);
  const std::string start =
      "\"C:\\Tools\\subinacl.exe\" /subkeyreg \"hkey_local_machine\\Software\\Tarnwick\\Orvo\"";
  EXPECT_THAT(commands, ElementsAre(start + " \"/setowner=VM\\John Smith\"",
                                    start + " \"/sgrant=VM\\John Smith=F\"",
                                    start + " \"/grant=VM\\John Smith=F\""));
  for (const auto& s : machine.started) EXPECT_EQ(s.show, 0U);
  EXPECT_EQ(machine.debugLines.back(), "\t\t- lResult (0=Success 2=Not Found): 5");

  // Under a root without a long name: no tool run, the permission change, one more try.
  machine.AddKey("HKCC\\Software\\Orvo");
  machine.SetStringValue("HKCC\\Software\\Orvo", "v", "x");
  machine.FailCall("RegDeleteValueW", "HKCC\\Software\\Orvo", platform::kErrorAccessDenied, 1);
  machine.started.clear();
  machine.debugLines.clear();
  EXPECT_EQ(fDeleteValue("HKCC", "Software\\Orvo", "v", notFound), 0);
  EXPECT_TRUE(machine.started.empty());
  EXPECT_THAT(machine.debugLines,
              ::testing::IsSupersetOf(
                  {"\tmodRegistry\\fDeleteValue:  TopKeys supported: HKLM, HKCU, HKU, HKCR",
                   "\t\t- Passed: HKCC", "\t\tThere may be an error in code."}));
  EXPECT_FALSE(machine.GetValue("HKCC\\Software\\Orvo", "v").has_value());
}

}  // namespace
}  // namespace orvo::modRegistry
