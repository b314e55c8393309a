// Taking a file or folder over: subinacl.exe's command lines and the owner and grantee rules,
// the owner set through the security calls, and the privilege switch.
#include "fs/ownership.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fs/paths.h"
#include "platform/fake/FakeMachine.h"
#include "process/privileges.h"

namespace orvo::fs {
namespace {

using fake::FakeMachine;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kTool = "C:\\windows\\subinacl.exe";

class OwnershipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFsState();
    machine.AddFile(kTool);
    machine.AddDir("C:\\Data\\Folder");
    machine.AddFile("C:\\Data\\file.txt");
  }
  std::vector<std::string> Commands() const {
    std::vector<std::string> lines;
    for (const auto& run : machine.started) lines.push_back(run.commandLine);
    return lines;
  }
  FakeMachine machine;
};

TEST_F(OwnershipTest, SubinaclCommandLinesAndTheOwnerAndGranteeRules) {
  const std::string t = "\"" + kTool + "\"";
  const struct {
    const char* name;
    std::string path;
    bool recurse;
    const char* user;
    const char* computer;
    bool recurseAfter;
    std::vector<std::string> commands;
  } cases[] = {
      {"folder, recursive, trailing backslash dropped",
       "C:\\Data\\Folder\\",
       true,
       "John Smith",
       "PC",
       true,
       {t + " /file \"C:\\Data\\Folder\" \"/setowner=John Smith\" \"/grant=John Smith=F\"",
        t + " /subdirectories \"C:\\Data\\Folder\\*.*\" \"/setowner=John Smith\" "
            "\"/grant=John Smith=F\""}},
      {"file: recursion turned off",
       "C:\\Data\\file.txt",
       true,
       "root",
       "PC",
       false,
       {t + " /file \"C:\\Data\\file.txt\" /setowner=root /grant=root=F"}},
      {"machine account",
       "C:\\Data\\file.txt",
       false,
       "PC$",
       "PC",
       false,
       {t + " /file \"C:\\Data\\file.txt\" /setowner=System /grant=Everyone=F"}},
      {"neither file nor folder", "C:\\Data\\missing", true, "root", "PC", true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    machine.started.clear();
    machine.SetEnv("USERNAME", c.user);
    machine.SetEnv("COMPUTERNAME", c.computer);
    bool recurse = c.recurse;
    std::string owner, grantee;
    TakeOwnFileOrDir(c.path, recurse, 0, owner, grantee);
    EXPECT_EQ(recurse, c.recurseAfter);
    EXPECT_EQ(Commands(), c.commands);
    for (const auto& run : machine.started) EXPECT_EQ(run.show, 0U);
  }
}

// Nothing runs without a tool, for a link, or for a file that has other names.
TEST_F(OwnershipTest, NoRunWithoutAToolOrOnWhatIsShared) {
  machine.AddFolderLink("C:\\Data\\link", "C:\\Windows");
  machine.AddHardLink("C:\\Data\\second-name.txt", "C:\\Data\\file.txt");
  for (const char* path : {"C:\\Data\\link", "C:\\Data\\second-name.txt"}) {
    bool recurse = true;
    std::string owner, grantee;
    TakeOwnFileOrDir(path, recurse, 0, owner, grantee);
  }
  EXPECT_THAT(Commands(), IsEmpty());
  ASSERT_TRUE(machine.DeleteFileW(kTool));
  bool recurse = false;
  std::string owner, grantee;
  TakeOwnFileOrDir("C:\\Data\\Folder", recurse, 0, owner, grantee);
  EXPECT_THAT(Commands(), IsEmpty());
}

TEST_F(OwnershipTest, ChangeOwnerMakesTheUserTheOwnerWithTheRestorePrivilegeForTheCall) {
  machine.FindFile("C:\\Data\\file.txt")->owner = platform::kSidLocalSystem;
  std::string owner = "Someone";
  ChangeOwnerOfFile("C:\\Data\\file.txt", owner);
  EXPECT_EQ(owner, "root");
  EXPECT_EQ(machine.FindFile("C:\\Data\\file.txt")->owner, machine.userSid);
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tSetOwnerFS\\ChangeOwnerOfFile:", "\t\t- Passed: C:\\Data\\file.txt",
                          "\t\t- Optional Parm OwnerAccountName=Someone",
                          "\tOwner of C:\\Data\\file.txt changed to root"));
  EXPECT_FALSE(machine.privileges.at("SeRestorePrivilege"));

  machine.debugLines.clear();
  owner.clear();
  ChangeOwnerOfFile("C:\\Data\\missing.txt", owner);
  EXPECT_EQ(machine.debugLines.back(), "\tSetFileSecurity failed with error code 2");
  EXPECT_FALSE(machine.privileges.at("SeRestorePrivilege"));

  // Through a link: the target's owner stays.
  machine.AddFileLink("C:\\Data\\file-link.txt", "C:\\Data\\file.txt");
  machine.FindFile("C:\\Data\\file.txt")->owner = platform::kSidLocalSystem;
  ChangeOwnerOfFile("C:\\Data\\file-link.txt", owner);
  EXPECT_EQ(machine.FindFile("C:\\Data\\file.txt")->owner, platform::kSidLocalSystem);
}

TEST_F(OwnershipTest, PrivilegeSwitchFailuresAreLogged) {
  EXPECT_TRUE(process::Enable_Privilege("SeDebugPrivilege"));
  EXPECT_TRUE(machine.privileges.at("SeDebugPrivilege"));
  EXPECT_TRUE(process::Disable_Privilege("SeDebugPrivilege"));
  machine.privileges.erase("SeBackupPrivilege");  // a token that does not hold it
  EXPECT_FALSE(process::ModifyState("SeBackupPrivilege", true));
  EXPECT_FALSE(process::ModifyState("SeNoSuchPrivilege", true));
  machine.FailCall("OpenProcessToken", "", platform::kErrorAccessDenied);
  EXPECT_FALSE(process::Enable_Privilege("SeDebugPrivilege"));
  EXPECT_THAT(machine.debugLines, ElementsAre("\tAdjustTokenPrivileges failed with error code 1300",
                                              "\tLookupPrivilegeValue failed with error code 1313",
                                              "\tOpenProcessToken failed with error code 5"));
  EXPECT_EQ(machine.OpenProcessHandleCount(), 0U);
}

}  // namespace
}  // namespace orvo::fs
