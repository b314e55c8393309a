// Path tests, the redirection switch and its gate, Is64bit and ReadINIValue.
#include "fs/paths.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fs/ini.h"
#include "platform/fake/FakeMachine.h"
#include "support/log.h"

namespace orvo::fs {
namespace {

using fake::FakeMachine;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class PathTests : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFsState();
    machine.AddFile("C:\\data\\file.txt");
    machine.AddDir("C:\\data\\folder");
    machine.calls.clear();
  }
  void TearDown() override { ResetFsState(); }
  FakeMachine machine;
};

TEST_F(PathTests, OnlyDriveAndNetworkPathsAreTested) {
  for (const char* path : {"", "x", "file.txt", "data\\file.txt", "\\Windows", "/c/data"}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(DoesFileExist(path, true));
    EXPECT_FALSE(DoesDirExist(path, true));
    EXPECT_FALSE(DoesDirExistNo64bitCheck(path, true));
    EXPECT_FALSE(DoesDirExistNoDebug(path));
    EXPECT_EQ(FileOrDir(path), "neither");
  }
  EXPECT_THAT(machine.calls, IsEmpty());
  EXPECT_THAT(machine.debugLines, IsEmpty());
  EXPECT_FALSE(bFSRedirDisabled);
}

TEST_F(PathTests, FileFolderOrNeither) {
  machine.AddFile("C:\\data\\locked.dll");
  machine.FindFile("C:\\data\\locked.dll")->locked = true;
  machine.AddFile("C:\\data\\readonly.dll", platform::kFileAttributeReadonly |
                                                platform::kFileAttributeHidden |
                                                platform::kFileAttributeSystem);
  const std::string longFile = "C:\\data\\" + std::string(150, 'l') + ".txt";
  const std::string longDir = "C:\\data\\" + std::string(150, 'd');
  machine.AddFile(longFile);
  machine.AddDir(longDir);
  machine.AddDir("\\\\server\\share\\dir");
  struct Case {
    std::string path;
    bool file, dir;
    const char* kind;
  } cases[] = {
      {"C:\\data\\file.txt", true, false, "file"},
      {"c:\\DATA\\FILE.TXT", true, false, "file"},
      {"C:\\data\\folder", false, true, "dir"},
      {"C:\\data\\folder\\", false, true, "dir"},
      {"C:\\", false, true, "dir"},
      {"C:\\data\\missing.txt", false, false, "neither"},
      {"C:\\nowhere\\missing.txt", false, false, "neither"},
      {"C:\\data\\bad?name", false, false, "neither"},
      // A locked or unreadable file is still a file, and so is one with a long path.
      {"C:\\data\\locked.dll", true, false, "file"},
      {"C:\\data\\readonly.dll", true, false, "file"},
      {longFile, true, false, "file"},
      {longDir, false, true, "dir"},
      {"\\\\server\\share\\dir", false, true, "dir"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(DoesFileExist(c.path, false), c.file);
    EXPECT_EQ(DoesDirExist(c.path, false), c.dir);
    EXPECT_EQ(DoesDirExistNo64bitCheck(c.path, false), c.dir);
    EXPECT_EQ(FileOrDir(c.path), c.kind);
  }
  EXPECT_THAT(machine.debugLines, IsEmpty());
  EXPECT_FALSE(bFSRedirDisabled);
}

TEST_F(PathTests, TraceLines) {
  DoesFileExist("C:\\data\\missing.txt", true);
  DoesFileExist("C:\\data\\file.txt", true);
  DoesDirExist("C:\\data\\folder", true);
  DoesDirExistNo64bitCheck("C:\\data\\file.txt", true);
  DoesDirExistNoDebug("C:\\data\\folder");
  EXPECT_THAT(
      machine.debugLines,
      ElementsAre("\tCommonModule\\DoesFileExist: -1", "\t\t- Passed: C:\\data\\missing.txt",
                  "\t\t- Returns: False", "\tCommonModule\\DoesFileExist: 32",
                  "\t\t- Passed: C:\\data\\file.txt", "\t\t- Returns: True",
                  "\tCommonModule\\DoesDirExist: ", "\t\t- Passed: C:\\data\\folder",
                  "\t\t- Returns: True", "\tCommonModule\\DoesDirExistNo64bitCheck: ",
                  "\t\t- Passed: C:\\data\\file.txt", "\t\t- Returns: False"));
}

TEST_F(PathTests, TheProgramSeesTheRedirectedSystemFolder) {
  // A 32-bit program on 64-bit Windows: its system32 is syswow64, and the gate keeps
  // the switch off, so the real system32 stays out of reach.
  machine.AddFile("C:\\windows\\system32\\native.dll");
  machine.AddFile("C:\\windows\\syswow64\\wow.dll");
  EXPECT_FALSE(DoesFileExist("C:\\windows\\system32\\native.dll", false));
  EXPECT_TRUE(DoesFileExist("C:\\windows\\system32\\wow.dll", false));
  EXPECT_TRUE(DoesFileExist("C:\\windows\\sysnative\\native.dll", false));
  EXPECT_THAT(
      machine.calls,
      ::testing::Not(::testing::Contains(::testing::HasSubstr("Wow64DisableWow64FsRedirection"))));
}

TEST_F(PathTests, RedirectionSwitchIsOneFlagNotACounter) {
  DisableFSRedir();
  DisableFSRedir();
  EXPECT_TRUE(bFSRedirDisabled);
  RevertFSRedir();
  EXPECT_FALSE(bFSRedirDisabled);
  RevertFSRedir();
  EXPECT_FALSE(bFSRedirDisabled);
  // A test inside a bracket ends the switched-off state for the outer caller too.
  DisableFSRedir();
  DoesFileExist("C:\\data\\file.txt", false);
  EXPECT_FALSE(bFSRedirDisabled);
  EXPECT_THAT(machine.calls, ElementsAre("GetFileAttributesW(C:\\data\\file.txt)"));
}

TEST_F(PathTests, GateOpenCallsThePlatformSwitchOnlyOn64BitWindows) {
  bAllowFSRedirSwitch = true;
  DisableFSRedir();
  EXPECT_TRUE(machine.redirectionDisabled);
  RevertFSRedir();
  EXPECT_FALSE(machine.redirectionDisabled);
  machine.is64BitWindows = false;
  machine.calls.clear();
  DisableFSRedir();
  RevertFSRedir();
  EXPECT_THAT(machine.calls, IsEmpty());
}

// The system answers; what the user's environment says of ProgramFiles(x86) changes nothing.
TEST_F(PathTests, Is64bitAsksTheSystemNotTheEnvironment) {
  EXPECT_TRUE(Is64bit("C:"));
  EXPECT_FALSE(Is64bit("D:"));
  for (const bool windows64 : {true, false}) {
    machine.is64BitWindows = windows64;
    for (const char* claim :
         std::initializer_list<const char*>{"C:\\Program Files (x86)", "", "C", nullptr}) {
      SCOPED_TRACE(std::string(windows64 ? "64-bit, " : "32-bit, ") + (claim ? claim : "unset"));
      if (claim != nullptr) {
        machine.SetEnv("ProgramFiles(x86)", claim);
      } else {
        machine.UnsetEnv("ProgramFiles(x86)");
      }
      EXPECT_EQ(Is64bit(""), windows64);
    }
  }
}

TEST_F(PathTests, ReadINIValue) {
  const std::string longValue(300, 'v');
  machine.AddFile(
      "C:\\Tools\\settings.ini", platform::kFileAttributeArchive,
      "[ShellExtensions]\r\nCopyPath=1\r\nLong=" + longValue + "\r\n[Other]\r\nx=2\r\n");
  EXPECT_EQ(ReadINIValue("C:\\Tools\\settings.ini", "ShellExtensions", "CopyPath"), "1");
  EXPECT_EQ(ReadINIValue("C:\\Tools\\settings.ini", "shellextensions", "copypath"), "1");
  EXPECT_EQ(ReadINIValue("C:\\Tools\\settings.ini", "ShellExtensions", "Long"),
            longValue.substr(0, 254));
  EXPECT_EQ(ReadINIValue("C:\\Tools\\settings.ini", "ShellExtensions", "x"), "");
  EXPECT_EQ(ReadINIValue("C:\\Tools\\settings.ini", "Missing", "x"), "");
  EXPECT_EQ(ReadINIValue("C:\\Tools\\missing.ini", "ShellExtensions", "CopyPath"), "");
}

TEST_F(PathTests, AppPathEndsInExactlyOneBackslash) {
  struct Case {
    const char* module;
    const char* expected;
  } cases[] = {{"C:\\Tools\\OrvoCleanup.exe", "C:\\Tools\\"},
               {"D:\\OrvoCleanup.exe", "D:\\"},
               {"\\\\server\\share\\dl\\OrvoCleanup.exe", "\\\\server\\share\\dl\\"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.module);
    machine.modulePath = c.module;
    EXPECT_EQ(AppPath(), c.expected);
  }
  EXPECT_TRUE(machine.debugLines.empty());
}

TEST_F(PathTests, AppPathReportsAFailedLookupAndGoesOn) {
  machine.FailCall("GetModuleFileNameW", "", platform::kErrorInsufficientBuffer);
  EXPECT_EQ(AppPath(), "\\");
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tCommonModule\\AppPath VB ERROR: 122 The data area passed to a system "
                          "call is too small."));
}

}  // namespace
}  // namespace orvo::fs
