// Contract of GetPrivateProfileStringW: found values, defaults, the cut to the buffer, and the
// error a missing file leaves.
#include <gtest/gtest.h>

#include "backend.h"

namespace orvo::contract {
namespace {

using platform::Dword;
using platform::Files;
using platform::GetLastError;
using platform::SetLastError;

class IniContract : public ::testing::Test {
 protected:
  IniContract() {
    machine->AddFile(ini, platform::kFileAttributeArchive,
                     "; settings of the toolkit\r\n"
                     "[Settings]\r\n"
                     "Name=Orvo Toolkit\r\n"
                     "  Path =  C:\\Program Files\\Orvo  \r\n"
                     "Empty=\r\n"
                     "Semicolon=a ; not a comment\r\n"
                     "Quoted=\"quoted value\"\r\n"
                     "[Other]\r\n"
                     "Only=here\r\n");
  }

  // Reads with a 255-character buffer and checks that the count matches the text.
  std::string Read(const char* section, const char* key, const std::string& file,
                   Dword nSize = 255) {
    std::string out = "stale";
    const Dword copied = Files().GetPrivateProfileStringW(section, key, "dflt", out, nSize, file);
    EXPECT_EQ(copied, out.size());
    return out;
  }

  std::unique_ptr<Machine> machine = Machine::Create();
  std::string ini = machine->Scratch() + "\\orvo.ini";
};

TEST_F(IniContract, ValuesDefaultsAndTheCutToTheBuffer) {
  const std::string missingFile = machine->Scratch() + "\\missing.ini";
  const struct {
    const char* name;
    const char* section;
    const char* key;
    Dword nSize;
    const std::string& file;
    std::string expected;
  } rows[] = {
      {"value found", "Settings", "Name", 255, ini, "Orvo Toolkit"},
      {"section and key ignore case", "SETTINGS", "name", 255, ini, "Orvo Toolkit"},
      {"blanks around key and value dropped", "Settings", "Path", 255, ini,
       "C:\\Program Files\\Orvo"},
      {"empty value is not the default", "Settings", "Empty", 255, ini, ""},
      {"a semicolon inside a value is text", "Settings", "Semicolon", 255, ini,
       "a ; not a comment"},
      {"missing key gives the default", "Settings", "Missing", 255, ini, "dflt"},
      {"key of another section gives the default", "Settings", "Only", 255, ini, "dflt"},
      {"missing section gives the default", "Nowhere", "Name", 255, ini, "dflt"},
      {"missing file gives the default", "Settings", "Name", 255, missingFile, "dflt"},
      {"value cut to nSize - 1", "Settings", "Name", 5, ini, "Orvo"},
      {"default cut to nSize - 1", "Settings", "Missing", 4, ini, "dfl"},
      {"nSize 1 leaves room for nothing", "Settings", "Name", 1, ini, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Read(row.section, row.key, row.file, row.nSize), row.expected);
  }
}

TEST_F(IniContract, MissingFileLeavesFileNotFound) {
  SetLastError(0);
  EXPECT_EQ(Read("Settings", "Name", machine->Scratch() + "\\missing.ini"), "dflt");
  EXPECT_EQ(GetLastError(), platform::kErrorFileNotFound);
}

TEST_F(IniContract, FileBelowAMissingFolderLeavesPathNotFound) {
  SetLastError(0);
  EXPECT_EQ(Read("Settings", "Name", machine->Scratch() + "\\nofolder\\orvo.ini"), "dflt");
  EXPECT_EQ(GetLastError(), platform::kErrorPathNotFound);
}

// Windows drops one pair of quotes around a value as it reads it.
TEST_F(IniContract, QuotesAroundAValueAreDropped) {
  EXPECT_EQ(Read("Settings", "Quoted", ini), "quoted value");
}

}  // namespace
}  // namespace orvo::contract
