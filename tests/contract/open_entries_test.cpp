// Contract of the calls on an entry opened as itself, which the removal uses so that what it
// checks is what it deletes: opening, reading its record, changing its attributes and owner,
// and deleting it when the handle closes.
#include <gtest/gtest.h>

#include "backend.h"

namespace orvo::contract {
namespace {

using platform::Dword;
using platform::Files;
using platform::GetLastError;
using platform::Handle;
using platform::kDelete;
using platform::kFileAttributeDirectory;
using platform::kFileAttributeHidden;
using platform::kFileAttributeReadonly;
using platform::kFileAttributeSystem;
using platform::kFileFlagBackupSemantics;
using platform::kFileReadAttributes;
using platform::kFileWriteAttributes;
using platform::kInvalidFileAttributes;
using platform::SetLastError;
using platform::UniqueKernelHandle;

constexpr Dword kErrorDirNotEmpty = 145;
constexpr Dword kShareAll =
    platform::kFileShareRead | platform::kFileShareWrite | platform::kFileShareDelete;

// A scratch folder with a plain file, a read-only file, a file another program holds open
// without sharing, an empty folder and one with a file in it.
class OpenEntriesContract : public ::testing::Test {
 protected:
  OpenEntriesContract() {
    machine->AddFile(At("file.txt"), platform::kFileAttributeArchive, "content");
    machine->AddFile(At("readonly.txt"), kFileAttributeReadonly | platform::kFileAttributeArchive);
    machine->AddFile(At("locked.txt"));
    machine->LockFile(At("locked.txt"));
    machine->AddDir(At("empty"));
    machine->AddFile(At("full\\inner.txt"));
  }

  std::string At(const std::string& name) const { return machine->Scratch() + "\\" + name; }

  // Opens the entry as the removal does: every share mode, the entry itself.
  static UniqueKernelHandle Open(const std::string& path, Dword access) {
    return UniqueKernelHandle(
        Files().CreateFileW(path, access, kShareAll, platform::kOpenExisting,
                            kFileFlagBackupSemantics | platform::kFileFlagOpenReparsePoint));
  }

  static bool Exists(const std::string& path) {
    return Files().GetFileAttributesW(path) != kInvalidFileAttributes;
  }

  std::unique_ptr<Machine> machine = Machine::Create();
};

TEST_F(OpenEntriesContract, OpenFailuresAnswerZeroWithTheReason) {
  const struct {
    const char* name;
    std::string path;
    Dword access;
    Dword flags;
    Dword error;
  } rows[] = {
      {"missing file", At("missing.txt"), kFileReadAttributes, 0, platform::kErrorFileNotFound},
      {"below a missing folder", At("no\\file.txt"), kFileReadAttributes, 0,
       platform::kErrorPathNotFound},
      {"folder without backup semantics", At("empty"), kFileReadAttributes, 0,
       platform::kErrorAccessDenied},
      {"held open without sharing, for deletion", At("locked.txt"), kDelete, 0,
       platform::kErrorSharingViolation},
      {"held open without sharing, for reading", At("locked.txt"), platform::kGenericRead, 0,
       platform::kErrorSharingViolation},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetLastError(0);
    // 0 exactly: the platform's INVALID_HANDLE_VALUE must not come through as a handle.
    EXPECT_EQ(
        Files().CreateFileW(row.path, row.access, kShareAll, platform::kOpenExisting, row.flags),
        Handle{0});
    EXPECT_EQ(GetLastError(), row.error);
  }
  // Deleting the held file is refused the same way.
  EXPECT_FALSE(Files().DeleteFileW(At("locked.txt")));
  EXPECT_EQ(GetLastError(), platform::kErrorSharingViolation);
}

// Asking for the attributes alone does not conflict with any share mode: a file another
// program holds can still be looked at.
TEST_F(OpenEntriesContract, FileHeldWithoutSharingStillOpensForItsAttributes) {
  const UniqueKernelHandle file = Open(At("locked.txt"), kFileReadAttributes);
  ASSERT_TRUE(file) << GetLastError();
  platform::FileInformation info;
  ASSERT_TRUE(Files().GetFileInformationByHandle(file.get(), info)) << GetLastError();
  EXPECT_EQ(info.attributes & kFileAttributeDirectory, 0u);
}

TEST_F(OpenEntriesContract, RecordTellsAFolderFromAFileAndCountsNames) {
  const UniqueKernelHandle folder = Open(At("empty"), kFileReadAttributes);
  ASSERT_TRUE(folder) << GetLastError();
  platform::FileInformation info;
  ASSERT_TRUE(Files().GetFileInformationByHandle(folder.get(), info)) << GetLastError();
  EXPECT_NE(info.attributes & kFileAttributeDirectory, 0u);
  EXPECT_EQ(info.reparseTag, 0u);

  const UniqueKernelHandle file = Open(At("readonly.txt"), kFileReadAttributes);
  ASSERT_TRUE(file) << GetLastError();
  ASSERT_TRUE(Files().GetFileInformationByHandle(file.get(), info)) << GetLastError();
  EXPECT_EQ(info.attributes & kFileAttributeDirectory, 0u);
  EXPECT_NE(info.attributes & kFileAttributeReadonly, 0u);
  EXPECT_EQ(info.numberOfLinks, 1u);
  EXPECT_EQ(info.reparseTag, 0u);
}

// A hard link is a second name of one file: both names count two, and deleting through one
// name leaves the file under the other.
TEST_F(OpenEntriesContract, HardLinkedFileCountsTwoNamesAndLosesOnlyTheOneDeleted) {
  machine->AddHardLink(At("second.txt"), At("file.txt"));
  for (const char* name : {"file.txt", "second.txt"}) {
    SCOPED_TRACE(name);
    const UniqueKernelHandle file = Open(At(name), kFileReadAttributes);
    ASSERT_TRUE(file) << GetLastError();
    platform::FileInformation info;
    ASSERT_TRUE(Files().GetFileInformationByHandle(file.get(), info)) << GetLastError();
    EXPECT_EQ(info.numberOfLinks, 2u);
  }

  UniqueKernelHandle second = Open(At("second.txt"), kDelete | kFileReadAttributes);
  ASSERT_TRUE(second) << GetLastError();
  ASSERT_TRUE(Files().SetFileDispositionByHandle(second.get(), false)) << GetLastError();
  second.reset();
  EXPECT_FALSE(Exists(At("second.txt")));
  const UniqueKernelHandle file = Open(At("file.txt"), kFileReadAttributes);
  ASSERT_TRUE(file) << GetLastError();
  platform::FileInformation info;
  ASSERT_TRUE(Files().GetFileInformationByHandle(file.get(), info)) << GetLastError();
  EXPECT_EQ(info.numberOfLinks, 1u);
}

TEST_F(OpenEntriesContract, AttributesSetThroughTheHandleAreTheEntrysOwn) {
  constexpr Dword kAll = kFileAttributeReadonly | kFileAttributeHidden | kFileAttributeSystem;
  const struct {
    const char* name;
    std::string path;
    Dword set;
    Dword expected;  // of kAll
  } rows[] = {
      {"file: read-only, hidden, system", At("file.txt"), kAll, kAll},
      {"file: hidden", At("file.txt"), kFileAttributeHidden, kFileAttributeHidden},
      {"file: normal clears them", At("file.txt"), platform::kFileAttributeNormal, 0},
      {"file: none clears them too", At("readonly.txt"), 0, 0},
      {"folder: hidden", At("empty"), kFileAttributeDirectory | kFileAttributeHidden,
       kFileAttributeHidden},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const UniqueKernelHandle entry = Open(row.path, kFileReadAttributes | kFileWriteAttributes);
    ASSERT_TRUE(entry) << GetLastError();
    ASSERT_TRUE(Files().SetFileAttributesByHandle(entry.get(), row.set)) << GetLastError();
    platform::FileInformation info;
    ASSERT_TRUE(Files().GetFileInformationByHandle(entry.get(), info)) << GetLastError();
    EXPECT_EQ(info.attributes & kAll, row.expected);
    EXPECT_EQ(Files().GetFileAttributesW(row.path) & kAll, row.expected);
  }
}

// Windows refuses (5) a handle opened without kFileWriteAttributes, and so does the fake. Wine
// does not check the handle's rights for this call: it sets the attributes.
TEST_F(OpenEntriesContract, AttributesNeedTheWriteAttributesRight) {
  const UniqueKernelHandle file = Open(At("readonly.txt"), kFileReadAttributes);
  ASSERT_TRUE(file) << GetLastError();
  SetLastError(0);
  const bool set = Files().SetFileAttributesByHandle(file.get(), platform::kFileAttributeNormal);
  const Dword after = Files().GetFileAttributesW(At("readonly.txt"));
  if (!machine->IsFake()) {  // Wine's answer
    EXPECT_TRUE(set) << GetLastError();
    EXPECT_EQ(after & kFileAttributeReadonly, 0u);
    return;
  }
  EXPECT_FALSE(set);
  EXPECT_EQ(GetLastError(), platform::kErrorAccessDenied);
  EXPECT_NE(after & kFileAttributeReadonly, 0u);
}

// A delete disposition removes the entry once its handle closes; refused, the entry stays.
TEST_F(OpenEntriesContract, DispositionDeletesOnCloseOrRefuses) {
  const struct {
    const char* name;
    std::string path;
    Dword error;  // 0: deleted
  } rows[] = {
      {"file", At("file.txt"), 0},
      {"empty folder", At("empty"), 0},
      {"folder that is not empty", At("full"), kErrorDirNotEmpty},
      {"read-only file", At("readonly.txt"), platform::kErrorAccessDenied},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    UniqueKernelHandle entry = Open(row.path, kDelete | kFileReadAttributes);
    ASSERT_TRUE(entry) << GetLastError();
    SetLastError(0);
    const bool marked = Files().SetFileDispositionByHandle(entry.get(), false);
    entry.reset();
    if (row.error == 0) {
      EXPECT_TRUE(marked) << GetLastError();
      EXPECT_FALSE(Exists(row.path));
    } else {
      EXPECT_FALSE(marked);
      EXPECT_EQ(GetLastError(), row.error);
      EXPECT_TRUE(Exists(row.path));
    }
  }
  EXPECT_TRUE(Exists(At("full\\inner.txt")));
}

// A platform that cannot ignore the read-only attribute refuses the request (87) and the file
// stays as it was. Wine always refuses: it does not know the extended disposition record.
TEST_F(OpenEntriesContract, DispositionIgnoringReadOnlyRefusedLeavesTheFile) {
  machine->RefuseIgnoreReadOnlyOnDelete();
  for (const char* name : {"readonly.txt", "file.txt"}) {
    SCOPED_TRACE(name);
    UniqueKernelHandle entry = Open(At(name), kDelete | kFileReadAttributes);
    ASSERT_TRUE(entry) << GetLastError();
    const Dword before = Files().GetFileAttributesW(At(name));
    SetLastError(0);
    EXPECT_FALSE(Files().SetFileDispositionByHandle(entry.get(), true));
    EXPECT_EQ(GetLastError(), platform::kErrorInvalidParameter);
    entry.reset();
    EXPECT_EQ(Files().GetFileAttributesW(At(name)), before);
  }
}

// Where the platform can (Windows 10 1809 and later, and the fake), a read-only file goes as
// it is: its other names keep the attribute. Wine cannot (see the case above).
TEST_F(OpenEntriesContract, DispositionIgnoringReadOnlyDeletesAReadOnlyFileAsItIs) {
  if (!machine->IsFake()) GTEST_SKIP() << "Wine refuses the extended disposition record (87)";
  machine->AddHardLink(At("second.txt"), At("readonly.txt"));
  UniqueKernelHandle entry = Open(At("readonly.txt"), kDelete | kFileReadAttributes);
  ASSERT_TRUE(entry) << GetLastError();
  SetLastError(0);
  const bool marked = Files().SetFileDispositionByHandle(entry.get(), true);
  entry.reset();
  ASSERT_TRUE(marked) << GetLastError();
  EXPECT_FALSE(Exists(At("readonly.txt")));
  EXPECT_NE(Files().GetFileAttributesW(At("second.txt")) & kFileAttributeReadonly, 0u);
}

// The removal makes Administrators the owner of what it cannot open otherwise. (Wine stores no
// file owners: the call succeeds there and changes nothing.)
TEST_F(OpenEntriesContract, OwnerIsSetThroughTheHandle) {
  const UniqueKernelHandle file = Open(At("file.txt"), platform::kWriteOwner);
  ASSERT_TRUE(file) << GetLastError();
  EXPECT_EQ(platform::Security().SetFileOwner(file.get(), platform::kSidAdministrators), 0u);
  EXPECT_EQ(platform::Security().SetFileOwner(file.get(), platform::Sid{"not a SID"}),
            1337u);  // ERROR_INVALID_SID
}

}  // namespace
}  // namespace orvo::contract
