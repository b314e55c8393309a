// Reading, writing, listing and deleting values, in the registry and in INI files.
#include "registry/values.h"

#include "registry_fixture.h"

namespace orvo::registry {
namespace {

using fixture::Bytes;
using fixture::Dword;
using fixture::N;
using fixture::RegistryLadderTest;
using fixture::RegistryTest;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

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

TEST_F(RegistryLadderTest, DeleteValue) {
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

TEST_F(RegistryLadderTest, DeleteValueRetriesOnce) {
  machine.SetStringValue("HKLM\\Software\\Tarnwick\\Orvo", "Pinned", "x");
  machine.FailCall("RegDeleteValueW", "HKLM\\Software\\Tarnwick\\Orvo",
                   platform::kErrorAccessDenied);
  machine.AddFile("C:\\Tools\\subinacl.exe");
  machine.SignFile("C:\\Tools\\subinacl.exe", "Microsoft Corporation");
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
}  // namespace orvo::registry
