// Removing files and folder trees: the ladder of KillFile and KillDir, the take-over before a
// retry, and the rule that nothing is ever done through a link or to a shared file.
#include "fs/removal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fs/paths.h"
#include "platform/fake/FakeMachine.h"

namespace orvo::fs {
namespace {

using fake::FakeMachine;
using fake::StartedProgram;
using platform::Ace;
using platform::Acl;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const std::string kTree = "C:\\users\\root\\Temp\\Orvo";
const std::string kOutside = "C:\\Outside";
const std::string kIcacls = "C:\\windows\\system32\\icacls.exe";  // native: reached via Sysnative

// An access list that lets nobody but the owner in.
const Acl kNobody{};
// What a naive grant tool leaves on an entry it reaches.
const Ace kAdminsFull{platform::kAccessAllowedAceType, 0, 0x1F01FF, platform::kSidAdministrators};

class RemovalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFsState();
    // The tree: three levels, read-only, hidden and system files among ordinary ones.
    machine.AddFile(kTree + "\\top.txt");
    machine.AddFile(kTree + "\\readonly.dat", platform::kFileAttributeReadonly);
    machine.AddFile(kTree + "\\a\\hidden.ini", platform::kFileAttributeHidden);
    machine.AddFile(kTree + "\\a\\b\\system.bin", platform::kFileAttributeSystem);
    machine.AddFile(kTree + "\\a\\b\\c\\deep.txt");
    // Outside the tree: what a link inside it may point at; none of it may change.
    machine.AddFile(kOutside + "\\keep.txt", platform::kFileAttributeReadonly, "outside");
    machine.FindFile(kOutside + "\\keep.txt")->owner = platform::kSidLocalSystem;
    machine.FindFile(kOutside + "\\keep.txt")->dacl = kNobody;
    machine.AddFile(kOutside + "\\sub\\more.txt");
    // The grant tool: records whether the tree still held a link when it ran.
    machine.AddFile(kIcacls);
    machine.InstallProgram(kIcacls, [this](FakeMachine&, const StartedProgram& run) {
      grants.push_back(run.commandLine);
      linksAtGrant += CountLinks(kTree);
      return 0U;
    });
    outsideBefore = Snapshot(kOutside);
  }

  // Every entry below the folder as the platform lists it (links not entered), as lines of
  // name, attributes, owner and access list.
  std::vector<std::string> Snapshot(const std::string& folder) {
    std::vector<std::string> lines;
    platform::FindData data;
    const platform::Handle find = machine.FindFirstFileW(folder + "\\*", data);
    if (find == 0) return lines;
    do {
      if (data.cFileName == "." || data.cFileName == "..") continue;
      const std::string path = folder + "\\" + data.cFileName;
      const fake::FakeFile* f = machine.FindFile(path);
      lines.push_back(path + " " + std::to_string(data.dwFileAttributes) + " " + f->owner.text +
                      " " + (f->dacl ? std::to_string(f->dacl->aces.size()) : "none") + " " +
                      f->content);
      if ((data.dwFileAttributes & platform::kFileAttributeDirectory) != 0 &&
          (data.dwFileAttributes & platform::kFileAttributeReparsePoint) == 0) {
        for (const std::string& line : Snapshot(path)) lines.push_back(line);
      }
    } while (machine.FindNextFileW(find, data));
    machine.FindClose(find);
    return lines;
  }

  int CountLinks(const std::string& folder) {
    int links = 0;
    platform::FindData data;
    const platform::Handle find = machine.FindFirstFileW(folder + "\\*", data);
    if (find == 0) return 0;
    do {
      if (data.cFileName == "." || data.cFileName == "..") continue;
      if ((data.dwFileAttributes & platform::kFileAttributeReparsePoint) != 0) {
        ++links;
      } else if ((data.dwFileAttributes & platform::kFileAttributeDirectory) != 0) {
        links += CountLinks(folder + "\\" + data.cFileName);
      }
    } while (machine.FindNextFileW(find, data));
    machine.FindClose(find);
    return links;
  }

  void ExpectOutsideUnchanged() { EXPECT_EQ(Snapshot(kOutside), outsideBefore); }

  FakeMachine machine;
  clsFSO fso;
  std::vector<std::string> grants;
  int linksAtGrant = 0;
  std::vector<std::string> outsideBefore;
};

TEST_F(RemovalTest, AnOrdinaryTreeGoesAtOnceWithReadOnlyHiddenAndSystemFiles) {
  EXPECT_TRUE(fso.KillDir(kTree, false));
  EXPECT_FALSE(machine.Exists(kTree));
  EXPECT_TRUE(machine.Exists("C:\\users\\root\\Temp"));
  EXPECT_THAT(machine.debugLines, IsEmpty());  // success returns without trace lines
  EXPECT_THAT(grants, IsEmpty());
  EXPECT_EQ(machine.OpenHandleCount(), 0U);
  ExpectOutsideUnchanged();
}

TEST_F(RemovalTest, AMissingFolderIsTrueAndRecreatedOnlyWhenAsked) {
  const struct {
    const char* name;
    std::string path;
    bool recreate;
    bool existsAfter;
  } cases[] = {
      {"missing", "C:\\users\\root\\Temp\\Gone", false, false},
      {"missing, recreated", "C:\\users\\root\\Temp\\Gone\\Deeper", true, true},
      {"empty path", "", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    machine.debugLines.clear();
    EXPECT_TRUE(fso.KillDir(c.path, c.recreate));
    if (!c.path.empty()) {
      EXPECT_EQ(machine.Exists(c.path), c.existsAfter);
    }
    EXPECT_THAT(machine.debugLines, ElementsAre("\tclsFSO\\KillDir: ", "\t\t- passed: " + c.path,
                                                "\t\t- returned: True"));
  }
}

// A file held open by another program: two whole-tree attempts with one take-over between
// them, then the fallback file by file and folder by folder; the answer is false and the
// folder itself stays with only the held file in it.
TEST_F(RemovalTest, ALockedFileEndsInTheFallbackWhoseAnswerIsFalse) {
  machine.FindFile(kTree + "\\a\\b\\system.bin")->locked = true;
  EXPECT_FALSE(fso.KillDir(kTree, false));
  EXPECT_TRUE(machine.Exists(kTree + "\\a\\b\\system.bin"));
  for (const char* gone : {"\\top.txt", "\\readonly.dat", "\\a\\hidden.ini", "\\a\\b\\c"}) {
    EXPECT_FALSE(machine.Exists(kTree + gone)) << gone;
  }
  EXPECT_EQ(grants.size(), 2U);  // the folder's take-over, then the held file's in KillFile
  EXPECT_THAT(grants[0], HasSubstr("\"" + kTree + "\" /grant *S-1-5-32-544:F /t"));
  EXPECT_THAT(machine.debugLines,
              Contains("\tclsFSO\\DelTree32 - VB ERROR: 32 The process cannot access the file "
                       "because it is being used by another process."));
  EXPECT_THAT(machine.debugLines,
              Contains("\tclsFSO\\KillFile - Unable to delete:  " + kTree + "\\a\\b\\system.bin"));
  EXPECT_EQ(machine.OpenHandleCount(), 0U);
}

// Links inside the tree, and the tree itself replaced by a link: each goes as a link, the
// outside folder keeps every file with its attributes, owner and access list.
TEST_F(RemovalTest, LinksGoAsLinksAndTheirTargetsAreNeverTouched) {
  machine.AddFolderLink(kTree + "\\a\\junction", kOutside, platform::kIoReparseTagMountPoint);
  machine.AddFolderLink(kTree + "\\symlink", kOutside, platform::kIoReparseTagSymlink);
  machine.AddFileLink(kTree + "\\a\\b\\file-link.txt", kOutside + "\\keep.txt");
  EXPECT_TRUE(fso.KillDir(kTree, false));
  EXPECT_FALSE(machine.Exists(kTree));
  ExpectOutsideUnchanged();

  // The folder to delete is itself a link (put there by a program that is not elevated).
  machine.AddFolderLink(kTree, kOutside);
  EXPECT_TRUE(fso.KillDir(kTree, false));
  EXPECT_FALSE(machine.Exists(kTree));
  ExpectOutsideUnchanged();
}

// When the whole-tree attempt fails, the take-over's recursive grant runs only once the
// tree holds no link, so it cannot reach the outside folder through one.
TEST_F(RemovalTest, TheRecursiveGrantRunsOnlyOnATreeWithoutLinks) {
  machine.AddFolderLink(kTree + "\\a\\junction", kOutside);
  machine.AddFolderLink(kTree + "\\a\\b\\symlink", kOutside + "\\sub",
                        platform::kIoReparseTagSymlink);
  machine.FindFile(kTree + "\\top.txt")->locked = true;
  EXPECT_FALSE(fso.KillDir(kTree, false));
  ASSERT_FALSE(grants.empty());
  EXPECT_EQ(linksAtGrant, 0);
  EXPECT_FALSE(machine.Exists(kTree + "\\a\\junction"));
  ExpectOutsideUnchanged();
}

// A second name of a read-only file outside: the name goes where the platform can delete it
// without clearing the shared attribute, and is left (and logged) where it cannot; the file
// outside is never changed.
TEST_F(RemovalTest, ASecondNameOfAnOutsideFileGoesOnlyAsAName) {
  machine.AddHardLink(kTree + "\\a\\hard-link.txt", kOutside + "\\keep.txt");
  outsideBefore = Snapshot(kOutside);
  EXPECT_TRUE(fso.KillDir(kTree, false));
  EXPECT_FALSE(machine.Exists(kTree));
  ExpectOutsideUnchanged();
  EXPECT_EQ(machine.LinkCount(kOutside + "\\keep.txt"), 1U);

  machine.AddFile(kTree + "\\other.txt");
  machine.AddHardLink(kTree + "\\hard-link.txt", kOutside + "\\keep.txt");
  outsideBefore = Snapshot(kOutside);
  machine.canIgnoreReadOnlyOnDelete = false;
  machine.debugLines.clear();
  EXPECT_FALSE(fso.KillDir(kTree, false));
  EXPECT_TRUE(machine.Exists(kTree + "\\hard-link.txt"));
  EXPECT_FALSE(machine.Exists(kTree + "\\other.txt"));
  ExpectOutsideUnchanged();
  EXPECT_THAT(machine.debugLines, Contains(HasSubstr("A file with other names is left as it is: " +
                                                     kTree + "\\hard-link.txt")));
  EXPECT_THAT(machine.calls, Not(Contains(HasSubstr("SetFileOwner(" + kOutside))));
}

// A file owned by another account whose access list lets nobody in: the take-over makes the
// user its owner and has the grant tool let Administrators in, then the retry deletes it.
TEST_F(RemovalTest, AFileNobodyMayTouchIsTakenOverAndThenDeleted) {
  const std::string sealed = kTree + "\\a\\sealed.txt";
  machine.AddFile(sealed);
  // Its folder lets Administrators list and read, not delete what it holds.
  machine.FindFile(kTree + "\\a")->dacl =
      Acl{{Ace{platform::kAccessAllowedAceType, 0, 0x1200A9, platform::kSidAdministrators}}};
  machine.FindFile(sealed)->owner = platform::kSidLocalSystem;
  machine.FindFile(sealed)->dacl = kNobody;
  // The grant tool lets Administrators in on every entry of the tree it is given.
  machine.InstallProgram(kIcacls, [this, sealed](FakeMachine& m, const StartedProgram& run) {
    grants.push_back(run.commandLine);
    if (fake::FakeFile* f = m.FindFile(sealed); f != nullptr && f->dacl) {
      f->dacl->aces.push_back(kAdminsFull);
    }
    return 0U;
  });
  EXPECT_TRUE(fso.KillFile(sealed));
  EXPECT_FALSE(machine.Exists(sealed));
  ASSERT_EQ(grants.size(), 1U);
  EXPECT_THAT(machine.debugLines, Contains("\tOwner of " + sealed + " changed to root"));
  EXPECT_FALSE(machine.privileges.at("SeRestorePrivilege"));  // switched off again
  EXPECT_EQ(machine.OpenHandleCount(), 0U);
}

TEST_F(RemovalTest, KillFileTellsMissingReadOnlyAndHeldFilesApart) {
  machine.AddFile(kTree + "\\held.txt");
  machine.FindFile(kTree + "\\held.txt")->locked = true;
  const struct {
    const char* file;
    bool gone;
    std::size_t grants;
  } cases[] = {
      {"\\missing.txt", true, 0},
      {"\\top.txt", true, 0},
      {"\\readonly.dat", true, 1},  // refused once, then the take-over clears the attribute
      {"\\held.txt", false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    grants.clear();
    machine.debugLines.clear();
    const std::string path = kTree + c.file;
    EXPECT_EQ(fso.KillFile(path), c.gone);
    EXPECT_EQ(machine.Exists(path), !c.gone);
    EXPECT_EQ(grants.size(), c.grants);
    std::vector<std::string> tail(machine.debugLines.end() - 3, machine.debugLines.end());
    EXPECT_THAT(tail, ElementsAre("\tclsFSO\\KillFile: ", "\t\t- passed: " + path,
                                  std::string("\t\t- returned: ") + (c.gone ? "True" : "False")));
  }
  EXPECT_THAT(machine.debugLines,
              Contains("\tclsFSO\\KillFile - Unable to delete:  " + kTree + "\\held.txt"));
}

// The grant tool is the system's own, started by its full path, never a copy beside the
// program or in the current folder; on Windows XP it is cacls, editing the list.
TEST_F(RemovalTest, TheGrantToolIsTheSystemsOwnByItsFullPath) {
  for (const char* folder : {"C:\\Tools", "C:\\Tools\\sub"}) {
    for (const char* tool : {"\\icacls.exe", "\\cacls.exe", "\\cmd.exe"}) {
      machine.AddFile(std::string(folder) + tool);
      machine.InstallProgram(std::string(folder) + tool);
    }
  }
  EXPECT_TRUE(fso.KillFile(kTree + "\\readonly.dat"));
  ASSERT_EQ(machine.started.size(), 1U);
  EXPECT_EQ(machine.started[0].application, "C:\\windows\\Sysnative\\icacls.exe");
  EXPECT_EQ(machine.started[0].commandLine, "\"C:\\windows\\Sysnative\\icacls.exe\" \"" + kTree +
                                                "\\readonly.dat\" /grant *S-1-5-32-544:F /t");
  EXPECT_EQ(machine.started[0].show, platform::kSwShowMinimized);

  machine.SetVersion(5, 1, 2600);
  machine.is64BitWindows = false;
  machine.AddFile("C:\\windows\\system32\\cacls.exe");
  machine.AddFile(kTree + "\\old.dat", platform::kFileAttributeReadonly);
  machine.started.clear();
  EXPECT_TRUE(fso.KillFile(kTree + "\\old.dat"));
  ASSERT_EQ(machine.started.size(), 1U);
  EXPECT_EQ(machine.started[0].commandLine, "\"C:\\windows\\System32\\cacls.exe\" \"" + kTree +
                                                "\\old.dat\" /t /c /e /g Administrators:F");
  EXPECT_EQ(machine.started[0].show, platform::kSwHide);
}

TEST(ListingTest, FileAndFolderListsInTheirTextForms) {
  FakeMachine machine;
  const std::string root = "C:\\L";
  machine.AddFile(root + "\\a.TXT");
  machine.AddFile(root + "\\b.log");
  machine.AddFile(root + "\\x\\c.txt");
  machine.AddDir(root + "\\x\\z");
  machine.AddDir(root + "\\y");
  machine.AddDir(root + "\\empty");
  machine.AddFile("C:\\Elsewhere\\far.txt");
  machine.AddFolderLink(root + "\\w-link", "C:\\Elsewhere");
  clsFSO fso;
  EXPECT_EQ(fso.Get_FileList(root, true, "*.*"),
            root + "\\a.TXT;" + root + "\\b.log;" + root + "\\x\\c.txt;");
  EXPECT_EQ(fso.Get_FileList(root, false, "*.txt"), root + "\\a.TXT;");
  EXPECT_EQ(fso.Count(), 1);
  EXPECT_EQ(fso.Get_FileList(root, true, "c.txt"),
            root + "\\a.TXT;" + root + "\\b.log;" + root + "\\x\\c.txt;");  // no star: every file
  EXPECT_EQ(fso.Get_FileList(root + "\\empty", true, "*.*"), "");
  // Folders: the link is listed as an entry and never entered.
  EXPECT_EQ(fso.Get_DirList(root, false),
            root + "\\empty;" + root + "\\w-link;" + root + "\\x;" + root + "\\y");
  EXPECT_EQ(fso.Get_DirList(root, true), root + "\\empty;;" + root + "\\w-link;" + root + "\\x;" +
                                             root + "\\x\\z;;" + root + "\\y;");

  machine.debugLines.clear();
  EXPECT_EQ(fso.Get_FileList(root + "\\missing", true, "*.*"), "");
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tclsFSO\\Get_FileList - VB ERROR: 3 The system cannot find the path "
                          "specified.",
                          "\tclsFSO\\Get_FileList -      DIR: " + root + "\\missing", "\t\t"));
  machine.debugLines.clear();
  EXPECT_EQ(fso.Get_FileList("", true, "*.*"), "");
  EXPECT_EQ(fso.Get_DirList("", true), "");
  EXPECT_THAT(machine.debugLines, ElementsAre("\tcFSO\\Get_FileList - Passed no string, aborting!",
                                              "\tcFSO\\Get_DirList - Passed no string, aborting!"));
}

TEST(ListingTest, ExistenceTestsAndSlashes) {
  FakeMachine machine;
  machine.AddFile("C:\\L\\a.txt");
  clsFSO fso;
  EXPECT_TRUE(fso.File_Exist("C:\\L\\a.txt"));
  EXPECT_FALSE(fso.File_Exist("C:\\L\\missing.txt"));
  EXPECT_FALSE(fso.File_Exist("C:\\Nowhere\\a.txt"));
  EXPECT_FALSE(fso.File_Exist("\\\\server\\share\\a.txt"));  // needs a drive letter
  EXPECT_FALSE(fso.File_Exist("C:\\"));                      // a folder is not a file
  EXPECT_FALSE(fso.File_Exist("   "));
  std::int32_t type = -1;
  EXPECT_TRUE(fso.Drive_Exist("c:\\whatever", type));
  EXPECT_EQ(type, 2);  // fixed
  EXPECT_FALSE(fso.Drive_Exist("Q:", type));
  EXPECT_EQ(type, 0);
  EXPECT_TRUE(fso.Folder_Exist("C:\\L\\"));
  EXPECT_EQ(clsFSO::Remove_Trailing_Slash(" C:\\x\\ "), "C:\\x");
  EXPECT_EQ(clsFSO::Remove_Trailing_Slash(""), "");
  EXPECT_EQ(clsFSO::Add_Trailing_Slash("  C:\\x  "), "C:\\x\\");
  EXPECT_EQ(clsFSO::Add_Trailing_Slash("   "), "\\");
}

TEST(CreateFoldersTest, EveryLevelIsMadeAndANetworkPathFails) {
  FakeMachine machine;
  clsFSO fso;
  EXPECT_TRUE(fso.Create_Dir_Struct("C:\\New\\Deeper\\Deepest"));
  EXPECT_TRUE(machine.Exists("C:\\New\\Deeper\\Deepest"));
  EXPECT_FALSE(fso.Create_Dir_Struct("  "));
  machine.debugLines.clear();
  EXPECT_FALSE(fso.Create_Dir_Struct("\\\\server\\share\\x"));
  EXPECT_THAT(machine.debugLines,
              ElementsAre("\tclsFSO\\Create_Dir_Struct - VB ERROR: 3 The system cannot find the "
                          "path specified.",
                          "\t\tAn error occured while trying to create:  ", "\t\t"));
  EXPECT_TRUE(MakeSurePathExists("C:\\Made\\By\\Imagehlp"));
  EXPECT_TRUE(machine.Exists("C:\\Made\\By\\Imagehlp"));
}

}  // namespace
}  // namespace orvo::fs
